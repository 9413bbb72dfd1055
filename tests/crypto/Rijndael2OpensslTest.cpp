// Rijndael2 in CBC mode against the openssl command run at test time on the
// same bytes: `openssl enc -aes-NNN-cbc -K <key> -iv <iv>` for the cipher,
// `openssl dgst -md5` and `openssl base64 -A` for the password-to-key rule.
// A missing openssl command fails these tests and says what to install.
//
// The Windows build of the suite runs under Wine, where no openssl command
// exists; these comparisons run in the native suite.

#if !defined(_WIN32)

#include "crypto/Rijndael2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AesEngineTestSupport.h"
#include "TestHex.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kInstallOpenssl = "the openssl command is missing: install openssl (Debian package \"openssl\")";

// Deterministic test bytes that differ from block to block.
Bytes pattern(uint32_t length, uint32_t seed)
{
    Bytes out(length);
    uint32_t x = seed * 2654435761u + 777u;
    for (uint32_t i = 0; i < length; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = uint8_t(x >> 16);
    }
    return out;
}

void fill(DataBuffer& buffer, const Bytes& bytes)
{
    buffer.clear();
    buffer.append(bytes.data(), uint32_t(bytes.size()));
}

Bytes bytesOf(const DataBuffer& buffer)
{
    return Bytes(buffer.getData(), buffer.getData() + buffer.getSize());
}

Bytes bytesOf(const std::unique_ptr<DataBuffer>& buffer)
{
    return buffer ? bytesOf(*buffer) : Bytes();
}

Bytes concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Runs `openssl <arguments>` with input on its standard input and returns
// what it writes to standard output; false when it fails.
class OpensslRunner {
public:
    OpensslRunner()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_directory = std::filesystem::temp_directory_path() /
                      (std::string("brivane-aes-") + test->name() + "-" + std::to_string(std::rand()));
        std::filesystem::create_directories(m_directory);
    }

    ~OpensslRunner()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_directory, ignored);
    }

    static bool available() { return std::system("openssl version >/dev/null 2>&1") == 0; }

    bool run(const std::string& arguments, const Bytes& input, Bytes& output)
    {
        const std::filesystem::path inPath = m_directory / "in.bin";
        const std::filesystem::path outPath = m_directory / "out.bin";
        {
            std::ofstream in(inPath, std::ios::binary | std::ios::trunc);
            in.write(reinterpret_cast<const char*>(input.data()), std::streamsize(input.size()));
        }
        const std::string command = "openssl " + arguments + " <\"" + inPath.string() + "\" >\"" +
                                    outPath.string() + "\" 2>/dev/null";
        if (std::system(command.c_str()) != 0)
            return false;
        std::ifstream out(outPath, std::ios::binary);
        output.assign(std::istreambuf_iterator<char>(out), std::istreambuf_iterator<char>());
        return true;
    }

    // AES-CBC with PKCS#7 padding (or none), key and IV in hex.
    Bytes encryptCbc(int32_t keyBits, const Bytes& key, const Bytes& iv, const Bytes& plain,
                     bool pad = true)
    {
        Bytes out;
        const std::string arguments = "enc -aes-" + std::to_string(keyBits) + "-cbc -K " +
                                      toHex(key) + " -iv " + toHex(iv) + (pad ? "" : " -nopad");
        EXPECT_TRUE(run(arguments, plain, out)) << "openssl " << arguments;
        return out;
    }

    Bytes md5(const Bytes& message)
    {
        Bytes out;
        EXPECT_TRUE(run("dgst -md5 -binary", message, out));
        return out;
    }

    Bytes base64(const Bytes& message)
    {
        Bytes out;
        EXPECT_TRUE(run("base64 -A", message, out));
        // The encoder ends its single line with a newline that is no Base64.
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
            out.pop_back();
        return out;
    }

private:
    std::filesystem::path m_directory;
};

const Bytes kZeroIv(16, 0);

} // namespace

// One-shot CBC with the zero IV equals openssl for each key length and for
// lengths around block boundaries (16, 32 and 4096 gain a whole padding
// block); decryptData and decryptDataInto of openssl's ciphertext give the
// plaintext back. Each engine the processor offers runs every case; one
// object serves all cases of an engine.
TEST(Rijndael2Openssl, CbcEqualsOpensslEnc)
{
    ASSERT_TRUE(OpensslRunner::available()) << kInstallOpenssl;
    OpensslRunner openssl;
    const Bytes keyMaterial = pattern(32, 99);
    for (AesCore::Engine engine : availableAesEngines()) {
        ScopedAesEngine scoped(engine);
        Rijndael2 cipher;
        cipher.setCbcMode();
        DataBuffer keyBuffer;
        fill(keyBuffer, keyMaterial);
        cipher.setKey(keyBuffer);

        for (int32_t keyBits : {128, 192, 256}) {
            ASSERT_EQ(cipher.setKeyLength(keyBits), keyBits);
            const Bytes key(keyMaterial.begin(), keyMaterial.begin() + keyBits / 8);
            for (uint32_t length : {1u, 4u, 15u, 16u, 17u, 32u, 100u, 127u, 128u, 129u, 4096u, 100003u}) {
                const Bytes plain = pattern(length, length + uint32_t(keyBits));
                const Bytes expected = openssl.encryptCbc(keyBits, key, kZeroIv, plain);
                DataBuffer in;
                fill(in, plain);
                const char* name = aesEngineName(engine);
                EXPECT_EQ(toHex(bytesOf(cipher.encryptData(in))), toHex(expected))
                    << name << ", AES-" << keyBits << ", " << length << " bytes";

                DataBuffer ciphertext;
                DataBuffer into;
                fill(ciphertext, expected);
                EXPECT_EQ(bytesOf(cipher.decryptData(ciphertext)), plain)
                    << name << ", decryptData AES-" << keyBits << ", " << length << " bytes";
                cipher.decryptDataInto(ciphertext, into);
                EXPECT_EQ(bytesOf(into), plain)
                    << name << ", decryptDataInto AES-" << keyBits << ", " << length << " bytes";
            }
        }
    }
}

// setPassword: key material = MD5(password) || MD5(Base64(password)), both
// computed here by openssl; AES-128 uses the first half, AES-192 the first 24
// bytes, AES-256 all 32. The empty password and the default "mervask" are
// among the cases.
TEST(Rijndael2Openssl, PasswordKeyEqualsOpensslDigests)
{
    ASSERT_TRUE(OpensslRunner::available()) << kInstallOpenssl;
    OpensslRunner openssl;
    const Bytes plain = pattern(45, 5);
    const char* const passwords[] = {"", "a", "mervask", "correct horse battery staple", "p\xe4ss\xfc"};
    for (const char* password : passwords) {
        const Bytes passwordBytes(password, password + std::strlen(password));
        const Bytes material = concat(openssl.md5(passwordBytes), openssl.md5(openssl.base64(passwordBytes)));
        ASSERT_EQ(material.size(), 32u);
        for (int32_t keyBits : {128, 192, 256}) {
            Rijndael2 cipher;
            cipher.setKeyLength(keyBits);
            cipher.setCbcMode();
            cipher.setPassword(password);
            const Bytes key(material.begin(), material.begin() + keyBits / 8);
            DataBuffer in;
            fill(in, plain);
            EXPECT_EQ(toHex(bytesOf(cipher.encryptData(in))),
                      toHex(openssl.encryptCbc(keyBits, key, kZeroIv, plain)))
                << "password \"" << password << "\", AES-" << keyBits;
        }
    }
}

// After encryptNext adopted a chain block as the IV, encryptNext's own output
// and every later one-shot encryption on the object are CBC from that IV.
TEST(Rijndael2Openssl, EncryptNextIvPersists)
{
    ASSERT_TRUE(OpensslRunner::available()) << kInstallOpenssl;
    OpensslRunner openssl;
    const Bytes keyMaterial = pattern(32, 41);
    Rijndael2 cipher;
    DataBuffer keyBuffer;
    fill(keyBuffer, keyMaterial);
    cipher.setKey(keyBuffer);

    DataBuffer first;
    fill(first, pattern(48, 42));
    const Bytes firstOut = bytesOf(cipher.encryptFirst(first));
    ASSERT_EQ(firstOut.size(), 48u);
    const Bytes chainBytes(firstOut.end() - 16, firstOut.end());
    DataBuffer chain;
    fill(chain, chainBytes);

    const Bytes nextPlain = pattern(32, 43);
    DataBuffer next;
    fill(next, nextPlain);
    EXPECT_EQ(toHex(bytesOf(cipher.encryptNext(next, chain))),
              toHex(openssl.encryptCbc(256, keyMaterial, chainBytes, nextPlain, false)));

    const Bytes laterPlain = pattern(20, 44);
    DataBuffer later;
    fill(later, laterPlain);
    EXPECT_EQ(toHex(bytesOf(cipher.encryptData(later))),
              toHex(openssl.encryptCbc(256, keyMaterial, chainBytes, laterPlain)));
}

// openssl's ciphertext of a long message, deciphered in pieces with the
// chain block carried from piece to piece, gives the message back.
TEST(Rijndael2Openssl, ChainedDecryptionOfOpensslCiphertext)
{
    ASSERT_TRUE(OpensslRunner::available()) << kInstallOpenssl;
    OpensslRunner openssl;
    const Bytes key = pattern(24, 51);
    const Bytes plain = pattern(10000, 52);
    const Bytes ciphertext = openssl.encryptCbc(192, key, kZeroIv, plain);
    ASSERT_EQ(ciphertext.size(), 10016u);

    Rijndael2 cipher;
    cipher.setKeyLength(192);
    DataBuffer keyBuffer;
    fill(keyBuffer, key);
    cipher.setKey(keyBuffer);

    const size_t pieceBytes = 4096;
    uint8_t chain[16] = {};
    Bytes joined;
    for (size_t offset = 0; offset < ciphertext.size(); offset += pieceBytes) {
        const size_t length = std::min(pieceBytes, ciphertext.size() - offset);
        const bool last = offset + length == ciphertext.size();
        DataBuffer piece;
        fill(piece, Bytes(ciphertext.begin() + offset, ciphertext.begin() + offset + length));
        const std::unique_ptr<DataBuffer> out = offset == 0 ? cipher.decryptFirst(piece, chain)
                                                : last      ? cipher.decryptLast(piece, chain)
                                                            : cipher.decryptNext(piece, chain);
        joined = concat(joined, bytesOf(out));
        EXPECT_EQ(toHex(chain, 16), toHex(Bytes(ciphertext.begin() + offset + length - 16,
                                                ciphertext.begin() + offset + length)));
    }
    EXPECT_EQ(joined, plain);
}

#endif // !_WIN32
