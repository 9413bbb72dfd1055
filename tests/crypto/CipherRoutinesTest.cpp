// Whole-buffer and whole-file cipher routines: output sizes (two padding
// layers for buffers, one for files), round trips for each cipher type, the
// piecewise file path against the one-shot cipher, and the AES file output
// against the openssl command-line tool on the same file.

#include "crypto/CipherRoutines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/DataBuffer.h"
#include "crypto/BlowFish.h"
#include "crypto/Rijndael2.h"
#include "crypto/TwoFish.h"
#include "TestHex.h"

namespace {

namespace fs = std::filesystem;

const char kPassword[] = "correct horse";
const int32_t kAllTypes[] = {kCipherTypeAes, kCipherTypeTwofish, kCipherTypeBlowfish};

const char* typeName(int32_t type)
{
    return type == kCipherTypeTwofish ? "Twofish" : type == kCipherTypeBlowfish ? "Blowfish" : "AES";
}

// Deterministic bytes that do not repeat with any short period.
std::vector<uint8_t> patterned(size_t n, uint32_t seed)
{
    std::vector<uint8_t> bytes(n);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = uint8_t(state >> 24);
    }
    return bytes;
}

std::vector<uint8_t> bytesOf(const DataBuffer& buffer)
{
    return std::vector<uint8_t>(buffer.getData(), buffer.getData() + buffer.getSize());
}

// A scratch folder for one test, removed with everything in it afterwards.
class ScratchDir {
public:
    ScratchDir()
    {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = fs::temp_directory_path() /
                 (std::string("bv-cipher-") + test->name() + "-" + std::to_string(std::rand()));
        fs::create_directories(m_path);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string file(const char* name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes(size_t(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

// ---------------------------------------------------------------------------
// Buffers
// ---------------------------------------------------------------------------

TEST(CipherRoutines, BufferSizesAndRoundTripsForEachCipher)
{
    const struct {
        uint32_t plainBytes;
        uint32_t cipherBytes;
    } cases[] = {{0, 0}, {1, 32}, {5, 32}, {15, 32}, {16, 48}, {17, 48}, {1000, 1024}};
    for (int32_t type : kAllTypes) {
        for (int32_t keyBits : {128, 192, 256}) {
            for (const auto& c : cases) {
                const std::vector<uint8_t> plain = patterned(c.plainBytes, c.plainBytes + 7);
                DataBuffer encrypted;
                encrypted.append("stale", 5);
                ASSERT_TRUE(cipherEncryptBuffer(type, keyBits, kPassword, plain.data(), c.plainBytes, encrypted));
                EXPECT_EQ(encrypted.getSize(), c.cipherBytes) << typeName(type) << " " << keyBits << " " << c.plainBytes;

                DataBuffer decrypted;
                ASSERT_TRUE(cipherDecryptBuffer(type, keyBits, kPassword, encrypted.getData(), encrypted.getSize(),
                                                decrypted));
                EXPECT_EQ(toHex(bytesOf(decrypted)), toHex(plain))
                    << typeName(type) << " " << keyBits << " " << c.plainBytes;
            }
        }
    }
}

// Decrypting a buffer routine's output with the bare cipher removes only the
// cipher's own padding and leaves the routine's inner PKCS#7 layer.
TEST(CipherRoutines, BufferCarriesTwoPaddingLayers)
{
    const std::vector<uint8_t> plain = patterned(5, 1);
    DataBuffer encrypted;
    ASSERT_TRUE(cipherEncryptBuffer(kCipherTypeAes, 256, kPassword, plain.data(), 5, encrypted));

    Rijndael2 aes;
    aes.setKeyLength(256);
    aes.setCbcMode();
    aes.setPassword(kPassword);
    std::unique_ptr<DataBuffer> oneLayer = aes.decryptData(encrypted);
    ASSERT_TRUE(oneLayer);
    std::vector<uint8_t> expected = plain;
    expected.resize(16, 11);
    EXPECT_EQ(toHex(bytesOf(*oneLayer)), toHex(expected));
}

TEST(CipherRoutines, BufferRefusesNullBytesOrPassword)
{
    const uint8_t bytes[4] = {1, 2, 3, 4};
    for (int32_t type : kAllTypes) {
        DataBuffer out;
        out.append("keep", 4);
        EXPECT_FALSE(cipherEncryptBuffer(type, 128, kPassword, nullptr, 4, out)) << typeName(type);
        EXPECT_FALSE(cipherEncryptBuffer(type, 128, nullptr, bytes, 4, out)) << typeName(type);
        EXPECT_FALSE(cipherDecryptBuffer(type, 128, kPassword, nullptr, 16, out)) << typeName(type);
        EXPECT_FALSE(cipherDecryptBuffer(type, 128, nullptr, bytes, 4, out)) << typeName(type);
        EXPECT_EQ(out.getSize(), 4u) << typeName(type);
        // Length 0 succeeds with an empty result, whatever the pointers.
        EXPECT_TRUE(cipherEncryptBuffer(type, 128, nullptr, nullptr, 0, out)) << typeName(type);
        EXPECT_EQ(out.getSize(), 0u) << typeName(type);
    }
}

TEST(CipherRoutines, BufferWithWrongPasswordGivesOtherBytes)
{
    const std::vector<uint8_t> plain = patterned(64, 2);
    for (int32_t type : kAllTypes) {
        DataBuffer encrypted;
        ASSERT_TRUE(cipherEncryptBuffer(type, 256, kPassword, plain.data(), 64, encrypted));
        DataBuffer decrypted;
        ASSERT_TRUE(cipherDecryptBuffer(type, 256, "wrong", encrypted.getData(), encrypted.getSize(), decrypted));
        EXPECT_NE(toHex(bytesOf(decrypted)), toHex(plain)) << typeName(type);
    }
}

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

bool encryptFile(int32_t type, int32_t keyBits, const std::string& in, const std::string& out)
{
    return cipherEncryptFile(type, keyBits, kPassword, in.c_str(), out.c_str(), nullptr);
}

bool decryptFile(int32_t type, int32_t keyBits, const std::string& in, const std::string& out)
{
    return cipherDecryptFile(type, keyBits, kPassword, in.c_str(), out.c_str(), nullptr);
}

// One padding layer: the output is the padded length of the input, whether
// the file went in one step (up to 800,000 bytes) or in pieces.
TEST(CipherRoutines, AesFileSizes)
{
    ScratchDir dir;
    const struct {
        uint32_t plainBytes;
        uint32_t cipherBytes;
    } cases[] = {{1600000, 1600016}, {800000, 800016}, {0, 0}};
    for (const auto& c : cases) {
        writeFile(dir.file("plain"), patterned(c.plainBytes, 3));
        ASSERT_TRUE(encryptFile(kCipherTypeAes, 256, dir.file("plain"), dir.file("cipher"))) << c.plainBytes;
        EXPECT_EQ(fs::file_size(dir.file("cipher")), c.cipherBytes) << c.plainBytes;
    }
}

TEST(CipherRoutines, FileRoundTripsForEachCipher)
{
    ScratchDir dir;
    for (int32_t type : kAllTypes) {
        std::vector<uint32_t> sizes = {0, 1, 17, 799999, 800000};
        if (type != kCipherTypeTwofish) {
            // Several pieces: First + Last, and First + Next + Last.
            sizes.push_back(800001);
            sizes.push_back(1700005);
        }
        for (uint32_t size : sizes) {
            const std::vector<uint8_t> plain = patterned(size, size);
            writeFile(dir.file("plain"), plain);
            ASSERT_TRUE(encryptFile(type, 192, dir.file("plain"), dir.file("cipher"))) << typeName(type) << " " << size;
            EXPECT_EQ(fs::file_size(dir.file("cipher")), size == 0 ? 0 : (size / 16 + 1) * 16)
                << typeName(type) << " " << size;
            ASSERT_TRUE(decryptFile(type, 192, dir.file("cipher"), dir.file("back"))) << typeName(type) << " " << size;
            EXPECT_TRUE(readFile(dir.file("back")) == plain) << typeName(type) << " " << size;
        }
    }
}

// The file routines use one padding layer, so the cipher's own one-shot
// encryption of the whole content is the reference for every cipher (ECB
// Blowfish needs no chain between pieces; Twofish files are one piece).
TEST(CipherRoutines, FileOutputEqualsOneShotEncryption)
{
    ScratchDir dir;
    const struct {
        int32_t type;
        uint32_t size;
    } cases[] = {{kCipherTypeBlowfish, 1700005}, {kCipherTypeBlowfish, 1234}, {kCipherTypeTwofish, 800000},
                 {kCipherTypeAes, 1700005}};
    for (const auto& c : cases) {
        const std::vector<uint8_t> plain = patterned(c.size, 11);
        writeFile(dir.file("plain"), plain);
        ASSERT_TRUE(encryptFile(c.type, 256, dir.file("plain"), dir.file("cipher"))) << typeName(c.type);

        std::unique_ptr<SymmetricAlgorithm2> cipher;
        if (c.type == kCipherTypeBlowfish)
            cipher = std::make_unique<BlowFish>();
        else if (c.type == kCipherTypeTwofish)
            cipher = std::make_unique<TwoFish>();
        else
            cipher = std::make_unique<Rijndael2>();
        cipher->setKeyLength(256);
        cipher->setCbcMode();
        cipher->setPassword(kPassword);
        DataBuffer whole;
        whole.append(plain.data(), uint32_t(plain.size()));
        std::unique_ptr<DataBuffer> expected = cipher->encryptData(whole);
        ASSERT_TRUE(expected);
        EXPECT_TRUE(readFile(dir.file("cipher")) == bytesOf(*expected)) << typeName(c.type) << " " << c.size;
    }
}

// Twofish has no chained operations: more than one piece cannot be encrypted.
TEST(CipherRoutines, TwofishFileOfMoreThanOnePieceFails)
{
    ScratchDir dir;
    writeFile(dir.file("plain"), patterned(800001, 5));
    EXPECT_FALSE(encryptFile(kCipherTypeTwofish, 256, dir.file("plain"), dir.file("cipher")));
}

// Regression: a Twofish ciphertext of one full piece plus its padding block
// (800,016 bytes) spans two read pieces; deciphering the pieces separately
// would restart CBC and strip padding in the middle. It decrypts in one step.
TEST(CipherRoutines, TwofishFileOfExactlyOnePieceDecryptsBack)
{
    ScratchDir dir;
    const std::vector<uint8_t> plain = patterned(800000, 6);
    writeFile(dir.file("plain"), plain);
    ASSERT_TRUE(encryptFile(kCipherTypeTwofish, 128, dir.file("plain"), dir.file("cipher")));
    ASSERT_EQ(fs::file_size(dir.file("cipher")), 800016u);
    ASSERT_TRUE(decryptFile(kCipherTypeTwofish, 128, dir.file("cipher"), dir.file("back")));
    EXPECT_TRUE(readFile(dir.file("back")) == plain);

    // Anything longer cannot come from the Twofish file encryption.
    writeFile(dir.file("long"), patterned(800032, 7));
    EXPECT_FALSE(decryptFile(kCipherTypeTwofish, 128, dir.file("long"), dir.file("back")));
}

TEST(CipherRoutines, FileFailures)
{
    ScratchDir dir;
    writeFile(dir.file("plain"), patterned(100, 8));
    for (int32_t type : kAllTypes) {
        EXPECT_FALSE(encryptFile(type, 128, dir.file("missing"), dir.file("out"))) << typeName(type);
        EXPECT_FALSE(decryptFile(type, 128, dir.file("missing"), dir.file("out"))) << typeName(type);
        EXPECT_FALSE(encryptFile(type, 128, dir.file("plain"), dir.file("no-such-dir/out"))) << typeName(type);
        EXPECT_FALSE(cipherEncryptFile(type, 128, nullptr, dir.file("plain").c_str(), dir.file("out").c_str(), nullptr))
            << typeName(type);
        EXPECT_FALSE(cipherEncryptFile(type, 128, kPassword, nullptr, dir.file("out").c_str(), nullptr))
            << typeName(type);
    }
}

#if !defined(_WIN32)
// ---------------------------------------------------------------------------
// Differential run against openssl (the host's tool; not reachable from the
// Windows build running under Wine).
// ---------------------------------------------------------------------------

// Reads the key material that setPassword derives.
class KeyMaterialProbe : public Rijndael2 {
public:
    std::string keyHex() const { return toHex(m_keyMaterial.getData(), m_keyMaterial.getSize()); }
};

bool opensslAvailable()
{
    return std::system("openssl version > /dev/null 2>&1") == 0;
}

TEST(CipherRoutines, AesFileEqualsOpensslEncryption)
{
    ASSERT_TRUE(opensslAvailable()) << "openssl is missing: install openssl (the command-line tool)";
    KeyMaterialProbe probe;
    probe.setPassword(kPassword);
    const std::string keyMaterialHex = probe.keyHex();
    ASSERT_EQ(keyMaterialHex.size(), 64u);

    ScratchDir dir;
    const struct {
        int32_t keyBits;
        uint32_t size;
    } cases[] = {{256, 100}, {256, 800000}, {256, 1600000}, {256, 1700005}, {128, 1700005}, {192, 33}};
    for (const auto& c : cases) {
        writeFile(dir.file("plain"), patterned(c.size, 9));
        ASSERT_TRUE(encryptFile(kCipherTypeAes, c.keyBits, dir.file("plain"), dir.file("ours")));

        // The AES key is the first keyBits / 8 bytes of the key material.
        const std::string command = "openssl enc -aes-" + std::to_string(c.keyBits) + "-cbc -K " +
                                    keyMaterialHex.substr(0, size_t(c.keyBits) / 4) + " -iv " +
                                    std::string(32, '0') + " -in '" + dir.file("plain") + "' -out '" +
                                    dir.file("openssl") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_TRUE(readFile(dir.file("ours")) == readFile(dir.file("openssl"))) << c.keyBits << " " << c.size;

        // And openssl's output decrypts back with ours.
        ASSERT_TRUE(decryptFile(kCipherTypeAes, c.keyBits, dir.file("openssl"), dir.file("back")));
        EXPECT_TRUE(readFile(dir.file("back")) == readFile(dir.file("plain"))) << c.keyBits << " " << c.size;
    }
}
#endif

} // namespace
