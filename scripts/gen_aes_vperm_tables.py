#!/usr/bin/env python3
"""Generates crypto/AesVectorPermuteTables.h: the 16-byte constants of the
vector-permute AES engine (crypto/AesVectorPermuteTransform.cpp), which
computes the AES S-box with 16-entry table look-ups of 4-bit indices (the
SSSE3 byte shuffle) instead of 256-entry tables.

How the tables come about (all arithmetic in the AES field GF(2^8) modulo
x^8 + x^4 + x^3 + x + 1, FIPS-197 section 4.2):

1. GF(16) inside GF(2^8). The elements z with z^16 = z form the subfield
   GF(16). Its generator h = g^17 (g = 0x03 generates GF(2^8)*) gives the
   basis 1, h, h^2, h^3 over GF(2): a 4-bit "nibble" n stands for the
   subfield element n0 + n1 h + n2 h^2 + n3 h^3. Addition is XOR of
   nibbles; inversion in GF(16) is the 16-entry table INVERSE.

2. GF(2^8) over GF(16). Take r = g^15: r^17 = 1 and r is not in GF(16), so
   every byte x is uniquely i + j r with i, j in GF(16). Its conjugate is
   x^16 = i + j r^16 = i + j / r, and its norm
       N = x * x^16 = i^2 + c i j + j^2,   c = r + 1/r (in GF(16)),
   so 1/x = (i + j/r) / N = (i + c j + j r) / N.

3. Inversion by 16-entry look-ups. With k = i + j,
       io = 1 / (1/i + c/k) + j = N / ((1 + c) i + j)
       jo = 1 / (1/j + c/k) + i = N / (i + (1 + c) j)
   (expand 1/(1/i + c/k) = i k / (k + c i) and use k = i + j). Solving
   the two linear equations for i/N and j/N gives
       1/x = G1(io) + G2(jo),  G1(io) = (1 + r) / (c^2 io),
                              G2(jo) = (1 + (c + r)(1 + c)) / (c^2 jo).
   The engine holds x as the nibble pair (i, k): high nibble i, low nibble
   k, one XOR gives j. It looks up 1/i, 1/j and c/k, adds, looks up the
   inverses and adds j and i: five look-ups give io and jo, and two more
   give any GF(2)-linear image of 1/x, G1 and G2 composed with it.
   Zero: the shuffle gives 0 for an index with its top bit set, so 1/0 is
   stored as 0x80, "infinity": infinity plus a nibble stays infinity, and
   its inverse is 0, which is what the formulas need at the poles (an
   x with i = 0, or k = 0, or a zero denominator). x = 0 gives io = jo =
   infinity, so 1/0 = 0 as AES defines it. The generator checks all 256
   bytes.

4. Change of basis. The engine keeps the state as the bytes
   B(x) = i << 4 | k. For encryption x is the state itself; for decryption
   it is A^-1(state + 0x63), A the linear part of the S-box's affine map
   (FIPS-197 section 5.1.1), so that the inverse S-box is one inversion.
   B and B A^-1 are linear, so they map a byte as two look-ups (its high
   and its low nibble) XORed: the input tables.

5. Output tables. Each round needs its S-box outputs in the basis of the
   next round, times the coefficients of MixColumns: encryption B(A(1/x))
   and B(2 A(1/x)); decryption B A^-1(m / x) for m = 9, 11, 13, 14; the
   last round A(1/x) and 1/x in the standard basis. Each is a pair of
   tables (of io and of jo). The constants 0x63 of the affine map are
   added to the round keys instead (MixColumns maps a column of four equal
   bytes to itself, so they pass through the rounds unchanged).

6. Byte positions. State byte 4c + r is row r of column c (FIPS-197
   section 3.4). ROTATE takes row r + 1 of the same column to row r, so
   MixColumns is sums of rotated copies. ShiftRows is never done: after
   round n the bytes stand where n ShiftRows (or InvShiftRows) would have
   left them undone, so round n rotates by ROTATE conjugated with ShiftRows
   to the power n (four phases, since ShiftRows^4 is the identity; phase n
   of ROTATE^t is phase 0 with 4 t n added to every index); the round keys
   are stored in the same order, and the output is put right once at the
   end by ShiftRows^(rounds mod 4).

The script also runs the whole cipher on this model of the engine and
checks it against the examples of FIPS-197 appendix C, both directions.

    scripts/gen_aes_vperm_tables.py           writes the file
    scripts/gen_aes_vperm_tables.py --check   fails when the file differs
"""
import os
import sys
import textwrap

TARGET = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "crypto", "AesVectorPermuteTables.h")

INFINITY = 0x80  # an index the byte shuffle turns into 0


# --------------------------------------------------------------------------
# GF(2^8) of FIPS-197


def gf_multiply(a, b):
    product = 0
    while b:
        if b & 1:
            product ^= a
        a = ((a << 1) ^ (0x1B if a & 0x80 else 0)) & 0xFF
        b >>= 1
    return product


def gf_power(a, exponent):
    result = 1
    while exponent:
        if exponent & 1:
            result = gf_multiply(result, a)
        a = gf_multiply(a, a)
        exponent >>= 1
    return result


def gf_inverse(a):
    return gf_power(a, 254) if a else 0


def gf_divide(a, b):
    return gf_multiply(a, gf_inverse(b))


def rotate_byte(b, n):
    return ((b << n) | (b >> (8 - n))) & 0xFF


def affine_linear(b):
    """The linear part A of the S-box's affine transform (FIPS-197 5.1.1)."""
    return b ^ rotate_byte(b, 1) ^ rotate_byte(b, 2) ^ rotate_byte(b, 3) ^ rotate_byte(b, 4)


AFFINE_CONSTANT = 0x63
AFFINE_LINEAR_INVERSE = {affine_linear(b): b for b in range(256)}
SBOX = [affine_linear(gf_inverse(x)) ^ AFFINE_CONSTANT for x in range(256)]
INV_SBOX = [0] * 256
for _x, _s in enumerate(SBOX):
    INV_SBOX[_s] = _x
assert SBOX[0x00] == 0x63 and SBOX[0x53] == 0xED and INV_SBOX[0x00] == 0x52

# --------------------------------------------------------------------------
# The subfield GF(16), the element r and the basis change

GENERATOR = 0x03
H = gf_power(GENERATOR, 17)
R = gf_power(GENERATOR, 15)
NIBBLE_ELEMENT = []
for _n in range(16):
    _z = 0
    for _bit in range(4):
        if _n >> _bit & 1:
            _z ^= gf_power(H, _bit)
    NIBBLE_ELEMENT.append(_z)
ELEMENT_NIBBLE = {z: n for n, z in enumerate(NIBBLE_ELEMENT)}
assert len(ELEMENT_NIBBLE) == 16 and all(gf_power(z, 16) == z for z in NIBBLE_ELEMENT)
assert gf_power(R, 17) == 1 and R not in ELEMENT_NIBBLE
C = gf_inverse(R) ^ R
assert C in ELEMENT_NIBBLE and C != 0

# x = i + j r for every byte: the coordinates (i, j) as nibbles.
COORDINATES = {}
for _i in range(16):
    for _j in range(16):
        COORDINATES[NIBBLE_ELEMENT[_i] ^ gf_multiply(NIBBLE_ELEMENT[_j], R)] = (_i, _j)
assert len(COORDINATES) == 256


def basis_change(x):
    """B(x): high nibble i, low nibble k = i + j."""
    i, j = COORDINATES[x]
    return i << 4 | (i ^ j)


def nibble_inverse(n):
    return INFINITY if n == 0 else ELEMENT_NIBBLE[gf_inverse(NIBBLE_ELEMENT[n])]


INVERSE = [nibble_inverse(n) for n in range(16)]
INVERSE_FACTOR = [INFINITY] + [ELEMENT_NIBBLE[gf_divide(C, NIBBLE_ELEMENT[k])] for k in range(1, 16)]

_C_SQUARED = gf_multiply(C, C)
G1_FACTOR = gf_divide(1 ^ R, _C_SQUARED)
G2_FACTOR = gf_divide(1 ^ gf_multiply(C ^ R, 1 ^ C), _C_SQUARED)


def g1(io):
    return 0 if io & INFINITY or io == 0 else gf_divide(G1_FACTOR, NIBBLE_ELEMENT[io & 15])


def g2(jo):
    return 0 if jo & INFINITY or jo == 0 else gf_divide(G2_FACTOR, NIBBLE_ELEMENT[jo & 15])


# --------------------------------------------------------------------------
# A model of the engine: 16-byte vectors as lists


def shuffle(table, indices):
    """The SSSE3 byte shuffle: table[index & 15], or 0 where index & 0x80."""
    return [0 if index & 0x80 else table[index & 15] for index in indices]


def xor(*vectors):
    out = [0] * 16
    for vector in vectors:
        out = [a ^ b for a, b in zip(out, vector)]
    return out


def invert(state):
    """(io, jo) of every byte of a state in basis B."""
    low = [b & 15 for b in state]
    high = [b >> 4 for b in state]
    mixed = xor(high, low)
    factor = shuffle(INVERSE_FACTOR, low)
    io = xor(shuffle(INVERSE, xor(shuffle(INVERSE, high), factor)), mixed)
    jo = xor(shuffle(INVERSE, xor(shuffle(INVERSE, mixed), factor)), high)
    return io, jo


def table_pair(image):
    """Look-up tables of io and of jo whose XOR is image(1/x)."""
    return [image(g1(n)) for n in range(16)], [image(g2(n)) for n in range(16)]


def look_up(pair, inverted):
    return xor(shuffle(pair[0], inverted[0]), shuffle(pair[1], inverted[1]))


def input_pair(image):
    """Tables of the low and the high nibble of a byte whose XOR is image(byte)."""
    return [image(n) for n in range(16)], [image(n << 4) for n in range(16)]


def apply_input(pair, block):
    return xor(shuffle(pair[0], [b & 15 for b in block]), shuffle(pair[1], [b >> 4 for b in block]))


def decrypt_basis(x):
    return basis_change(AFFINE_LINEAR_INVERSE[x])


def times(m, image):
    return lambda v: image(gf_multiply(m, v))


ENCRYPT_INPUT = input_pair(basis_change)
DECRYPT_INPUT = input_pair(decrypt_basis)
ENCRYPT_SUB = table_pair(lambda v: basis_change(affine_linear(v)))
ENCRYPT_SUB_TWICE = table_pair(lambda v: basis_change(gf_multiply(2, affine_linear(v))))
ENCRYPT_LAST = table_pair(affine_linear)
DECRYPT_MULTIPLES = {m: table_pair(times(m, decrypt_basis)) for m in (9, 11, 13, 14)}
DECRYPT_LAST = table_pair(lambda v: v)

# Every byte through the model's inversion and each output table.
for _x in range(256):
    _inverted = invert([basis_change(_x)] * 16)
    assert look_up(DECRYPT_LAST, _inverted)[0] == gf_inverse(_x)
    assert look_up(ENCRYPT_LAST, _inverted)[0] == SBOX[_x] ^ AFFINE_CONSTANT
    _e = AFFINE_LINEAR_INVERSE[_x ^ AFFINE_CONSTANT]
    assert look_up(DECRYPT_LAST, invert([basis_change(_e)] * 16))[0] == INV_SBOX[_x]
    assert apply_input(DECRYPT_INPUT, [_x] * 16)[0] ^ decrypt_basis(AFFINE_CONSTANT) == basis_change(_e)

# --------------------------------------------------------------------------
# Byte positions


def position(column, row):
    return 4 * column + row


def compose(outer, inner):
    """Index map of shuffling by outer, then by inner: v -> v[outer][inner]."""
    return [outer[inner[p]] for p in range(16)]


def permute(vector, indices):
    return [vector[index] for index in indices]


IDENTITY = list(range(16))
SHIFT_ROWS = [position((c + r) % 4, r) for c in range(4) for r in range(4)]
INV_SHIFT_ROWS = [position((c - r) % 4, r) for c in range(4) for r in range(4)]
ROTATE = [position(c, (r + 1) % 4) for c in range(4) for r in range(4)]
ROTATE_TWICE = [position(c, (r + 2) % 4) for c in range(4) for r in range(4)]
ROTATE_BACK = [position(c, (r + 3) % 4) for c in range(4) for r in range(4)]
assert compose(SHIFT_ROWS, INV_SHIFT_ROWS) == IDENTITY


def power(indices, n):
    result = IDENTITY
    for _ in range(n % 4):
        result = compose(result, indices)
    return result


SHIFT_ROWS_POWERS = [power(SHIFT_ROWS, n) for n in range(4)]


def conjugate(indices, n):
    """indices seen through n ShiftRows: ShiftRows^n, indices, ShiftRows^-n."""
    return compose(compose(power(SHIFT_ROWS, n), indices), power(INV_SHIFT_ROWS, n))


ROTATE_PHASES = [conjugate(ROTATE, n) for n in range(4)]
ROTATE_TWICE_PHASES = [conjugate(ROTATE_TWICE, n) for n in range(4)]
ROTATE_BACK_PHASES = [conjugate(ROTATE_BACK, n) for n in range(4)]


def phase_of(base, times, n):
    """ROTATE^times after n ShiftRows, from phase 0: every index plus 4 n times, modulo 16."""
    return [(index + 4 * times * n) % 16 for index in base]


# ShiftRows^n moves column c of row r to column c - r n; seen through it, a
# rotation by t rows within a column becomes one that also moves t n
# columns, 4 t n byte positions: so the engine stores phase 0 only and adds.
for _n in range(4):
    assert compose(ROTATE_PHASES[_n], ROTATE_PHASES[_n]) == ROTATE_TWICE_PHASES[_n]
    assert compose(ROTATE_TWICE_PHASES[_n], ROTATE_PHASES[_n]) == ROTATE_BACK_PHASES[_n]
    assert ROTATE_PHASES[_n] == phase_of(ROTATE, 1, _n)
    assert ROTATE_TWICE_PHASES[_n] == phase_of(ROTATE_TWICE, 2, _n)
    assert ROTATE_BACK_PHASES[_n] == phase_of(ROTATE_BACK, 3, _n)


def encrypt_phase(round_number):
    return round_number % 4


def decrypt_phase(round_number):
    return -round_number % 4


def key_order(round_number, shift):
    """Where round round_number's key bytes stand: shift^-round_number."""
    return power(INV_SHIFT_ROWS if shift is SHIFT_ROWS else SHIFT_ROWS, round_number)


# --------------------------------------------------------------------------
# The whole cipher on the model, against FIPS-197 appendix C


def expand_key(key):
    """KeyExpansion of FIPS-197 section 5.2: rounds + 1 keys of 16 bytes."""
    words = len(key) // 4
    rounds = words + 6
    w = [list(key[4 * n:4 * n + 4]) for n in range(words)]
    constant = 1
    for n in range(words, 4 * (rounds + 1)):
        temp = list(w[n - 1])
        if n % words == 0:
            temp = [SBOX[b] for b in temp[1:] + temp[:1]]
            temp[0] ^= constant
            constant = gf_multiply(constant, 2)
        elif words > 6 and n % words == 4:
            temp = [SBOX[b] for b in temp]
        w.append([a ^ b for a, b in zip(w[n - words], temp)])
    return [sum(w[4 * r:4 * r + 4], []) for r in range(rounds + 1)]


def inv_mix_column_bytes(key):
    out = []
    for c in range(4):
        col = key[4 * c:4 * c + 4]
        for r in range(4):
            out.append(gf_multiply(14, col[r]) ^ gf_multiply(11, col[(r + 1) % 4])
                       ^ gf_multiply(13, col[(r + 2) % 4]) ^ gf_multiply(9, col[(r + 3) % 4]))
    return out


def model_encrypt(block, keys):
    rounds = len(keys) - 1
    constant = [AFFINE_CONSTANT] * 16
    state = xor(apply_input(ENCRYPT_INPUT, block), [basis_change(b) for b in keys[0]])
    for n in range(1, rounds):
        key = permute([basis_change(b) for b in xor(keys[n], constant)], key_order(n, SHIFT_ROWS))
        inverted = invert(state)
        sub = look_up(ENCRYPT_SUB, inverted)
        twice = look_up(ENCRYPT_SUB_TWICE, inverted)
        phase = encrypt_phase(n)
        # 2 s[r] + 3 s[r+1] + s[r+2] + s[r+3] with s[r+1] counted in the
        # rotation of 2s + s: three independent rotations.
        state = xor(twice, permute(xor(twice, sub), phase_of(ROTATE, 1, phase)),
                    permute(sub, phase_of(ROTATE_TWICE, 2, phase)),
                    permute(sub, phase_of(ROTATE_BACK, 3, phase)), key)
    last = look_up(ENCRYPT_LAST, invert(state))
    return xor(permute(last, SHIFT_ROWS_POWERS[rounds % 4]), keys[rounds], constant)


def model_decrypt(block, keys):
    """The equivalent inverse cipher (FIPS-197 section 5.3.5)."""
    rounds = len(keys) - 1
    keys = [keys[rounds]] + [inv_mix_column_bytes(k) for k in reversed(keys[1:rounds])] + [keys[0]]
    constant = [AFFINE_CONSTANT] * 16
    state = xor(apply_input(DECRYPT_INPUT, block), [decrypt_basis(b) for b in xor(keys[0], constant)])
    for n in range(1, rounds):
        key = permute([decrypt_basis(b) for b in xor(keys[n], constant)], key_order(n, INV_SHIFT_ROWS))
        inverted = invert(state)
        phase = decrypt_phase(n)
        # 14 s[r] + 11 s[r+1] + 13 s[r+2] + 9 s[r+3]: three independent rotations.
        state = xor(look_up(DECRYPT_MULTIPLES[14], inverted),
                    permute(look_up(DECRYPT_MULTIPLES[11], inverted), phase_of(ROTATE, 1, phase)),
                    permute(look_up(DECRYPT_MULTIPLES[13], inverted), phase_of(ROTATE_TWICE, 2, phase)),
                    permute(look_up(DECRYPT_MULTIPLES[9], inverted), phase_of(ROTATE_BACK, 3, phase)), key)
    last = look_up(DECRYPT_LAST, invert(state))
    return xor(permute(last, SHIFT_ROWS_POWERS[rounds % 4]), keys[rounds])


FIPS_197_EXAMPLES = [  # appendix C: key, plaintext, ciphertext
    ("000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"),
    ("000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"),
    ("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
     "8ea2b7ca516745bfeafc49904b496089"),
]
for _key, _plain, _cipher in FIPS_197_EXAMPLES:
    _keys = expand_key(bytes.fromhex(_key))
    assert bytes(model_encrypt(list(bytes.fromhex(_plain)), _keys)).hex() == _cipher
    assert bytes(model_decrypt(list(bytes.fromhex(_cipher)), _keys)).hex() == _plain

# --------------------------------------------------------------------------
# The header

TABLES = [
    ("kVpermInverse", "1/n in GF(16); 1/0 is 0x80 (\"infinity\")", INVERSE),
    ("kVpermInverseFactor", "c/k with c = r + 1/r; c/0 is 0x80", INVERSE_FACTOR),
    ("kVpermEncryptInputLow", "B(x) of a byte's low nibble", ENCRYPT_INPUT[0]),
    ("kVpermEncryptInputHigh", "B(x) of a byte's high nibble", ENCRYPT_INPUT[1]),
    ("kVpermDecryptInputLow", "B(A^-1(x)) of a byte's low nibble", DECRYPT_INPUT[0]),
    ("kVpermDecryptInputHigh", "B(A^-1(x)) of a byte's high nibble", DECRYPT_INPUT[1]),
    ("kVpermEncryptSubIo", "B(A(1/x)), the io half", ENCRYPT_SUB[0]),
    ("kVpermEncryptSubJo", "B(A(1/x)), the jo half", ENCRYPT_SUB[1]),
    ("kVpermEncryptSubTwiceIo", "B(2 A(1/x)), the io half", ENCRYPT_SUB_TWICE[0]),
    ("kVpermEncryptSubTwiceJo", "B(2 A(1/x)), the jo half", ENCRYPT_SUB_TWICE[1]),
    ("kVpermEncryptLastIo", "A(1/x), the io half", ENCRYPT_LAST[0]),
    ("kVpermEncryptLastJo", "A(1/x), the jo half", ENCRYPT_LAST[1]),
]
for _m in (9, 11, 13, 14):
    TABLES.append((f"kVpermDecrypt{_m}Io", f"B(A^-1({_m}/x)), the io half", DECRYPT_MULTIPLES[_m][0]))
    TABLES.append((f"kVpermDecrypt{_m}Jo", f"B(A^-1({_m}/x)), the jo half", DECRYPT_MULTIPLES[_m][1]))
TABLES += [
    ("kVpermDecryptLastIo", "1/x, the io half", DECRYPT_LAST[0]),
    ("kVpermDecryptLastJo", "1/x, the jo half", DECRYPT_LAST[1]),
]

TABLES += [
]

TABLES += [
    ("kVpermShiftRows", "ShiftRows as a byte shuffle; its powers are shuffles of it by itself", SHIFT_ROWS),
    ("kVpermShiftRowsTwice", "ShiftRows^2, which puts the last round's bytes in place after 10 or 14 rounds",
     SHIFT_ROWS_POWERS[2]),
]


def hex_row(values):
    return ", ".join(f"0x{v:02x}" for v in values)


def generate():
    lines = [
        "#pragma once",
        "// Generated by scripts/gen_aes_vperm_tables.py, which derives every",
        "// constant from the AES field and explains how; do not edit. Used by",
        "// AesVectorPermuteTransform.cpp only. B is the engine's basis (high nibble",
        "// i, low nibble k = i + j for x = i + j r), A the linear part of the",
        "// S-box's affine map; io and jo are the two nibbles the inversion leaves.",
        "",
        "#include <cstdint>",
        "",
        "namespace aesvperm {",
        "",
        "// clang-format off",
        f"// r = 0x{R:02x}, c = r + 1/r = 0x{C:02x}, GF(16) basis 1, h, h^2, h^3 with h = 0x{H:02x}.",
    ]
    for name, comment, values in TABLES:
        lines += ["// " + line for line in textwrap.wrap(comment, 96)]
        lines.append(f"alignas(16) constexpr uint8_t {name}[16] = {{")
        lines.append(f"    {hex_row(values)}}};")
    lines += [
        "// The rotations of MixColumns after n ShiftRows, n = 0..3, as byte shuffles",
        "// (out[p] = in[table[p]]): ROTATE, ROTATE^2, ROTATE^3 (rows r + 1, r + 2, r + 3",
        "// of a column to row r), one array so that a round finds all three at one address.",
        "alignas(16) constexpr uint8_t kVpermRotations[4][3][16] = {",
    ]
    for n in range(4):
        lines.append("    {")
        for phases in (ROTATE_PHASES, ROTATE_TWICE_PHASES, ROTATE_BACK_PHASES):
            lines.append(f"        {{{hex_row(phases[n])}}},")
        lines.append("    },")
    lines += [
        "};",
        "",
        "// Added to every round key but the first (encryption) or the last",
        "// (decryption): the S-box's affine constant, which the tables leave out.",
        f"constexpr uint8_t kVpermAffineConstant = 0x{AFFINE_CONSTANT:02x};",
        "",
        "// clang-format on",
        "",
        "}  // namespace aesvperm",
    ]
    return "\n".join(lines) + "\n"


def main():
    text = generate()
    if "--check" in sys.argv[1:]:
        with open(TARGET, encoding="ascii") as current:
            if current.read() != text:
                print(f"{TARGET} differs from what the generator makes", file=sys.stderr)
                return 1
        return 0
    with open(TARGET, "w", encoding="ascii") as out:
        out.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
