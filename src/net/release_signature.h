#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The reading of a release's signature file (/launcher/version.json.sig: one
// base64 DER ECDSA P-256 signature over version.json a line) and of the
// pinned public keys. This is the one parser that reads what a host writes,
// so it is pure code with no platform call, fuzzed on its own.

// A signature file larger than this, or with more non-blank lines, is refused
// whole: checking it must never make a start slow.
inline constexpr size_t kMaxSignatureFileBytes = 32 * 1024;
inline constexpr size_t kMaxSignatureLines = 64;
// A signed build reads no longer manifest, so that a host can make it
// download nothing without end before the signature is checked.
inline constexpr size_t kMaxSignedManifestBytes = 64 * 1024;

// The file's non-blank lines in order, each without its line end (LF or CRLF)
// and surrounding spaces or tabs; the views point into `file`. False when the
// file is over either limit. Pure.
bool SignatureFileLines(std::string_view file, std::vector<std::string_view>* lines);

// The 64-byte r||s form CNG verifies, from a DER ECDSA-Sig-Value (a SEQUENCE
// of two INTEGERs). Strict: definite short lengths that match exactly, no
// trailing bytes, minimal integers, each in 1 .. n-1 of P-256. False for
// anything else. Pure.
bool DerToP256Signature(std::string_view der, unsigned char (&rs)[64]);

// One line of a signature file, the base64 of such a DER signature, read into
// r||s by Base64Decode and DerToP256Signature. Pure.
bool SignatureLineToP256(std::string_view line, unsigned char (&rs)[64]);

// The uncompressed point X||Y of a P-256 public key given as the base64 of its
// DER SubjectPublicKeyInfo (what `openssl pkey -pubout` wraps in PEM lines).
// False when it is not such a key. Whether the point lies on the curve is
// not checked here. Pure.
bool P256PublicKeyPoint(std::string_view base64Spki, unsigned char (&point)[64]);

// 64 lowercase hexadecimal digits, as a SHA-256 is written in a manifest.
bool IsSha256Hex(std::string_view text);

// The archive's length as a signed manifest's "size" gives it: a string of 1
// to 20 decimal digits whose value fits in 64 bits. False for anything else.
// Pure.
bool ParseSignedSize(std::string_view text, uint64_t* bytes);
