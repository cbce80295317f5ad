#!/usr/bin/env python3
"""Signs a launcher release for shortcuts built with NOLM_RELEASE_KEYS.

  sign_release.py RELEASE_FOLDER --key PRIVATE.pem [--key OTHER.pem ...]

RELEASE_FOLDER holds launcher/version.json and launcher/launcher.7z, as they
are uploaded. The archive's SHA-256 and its length in bytes are written into
version.json as "sha256" and "size", both strings (the other members stay as
they are), then one signature line per key is appended to
launcher/version.json.sig, made by openssl exactly as a shortcut verifies it:
ECDSA P-256 with SHA-256 over the bytes of version.json, DER, base64, one
line. Each new line is verified with the key's public half before it is
written.

A shortcut does not parse JSON: it takes the first "version", "sha256" or
"size" anywhere in the bytes, nested or not. The script reads the three both
that way and as JSON, and refuses to sign a manifest on which the two
disagree, naming the field, before and after writing its own values.

Running it again changes nothing: when version.json already carries the
archive's digest and size it is left byte for byte as it is, and a key whose
line already verifies is not appended again, so a second key (kept on another
machine) can add its line later. When the digest or size had to be written,
the old signature lines no longer match the manifest and the file is started
afresh. Keys other than EC P-256 private keys are refused.
"""

import argparse
import base64
import hashlib
import json
import os
import subprocess
import sys
import tempfile

FIELDS = ("version", "sha256", "size")


def fail(message):
  sys.exit("sign_release: " + message)


def literal_scan(manifest, key):
  """What a shortcut reads for `key` in the bytes `manifest`: the first "key"
  anywhere, the first ':' after it, then the text between the next two '"',
  escapes left as they are; "" when any of them is missing."""
  key_at = manifest.find(b'"' + key.encode() + b'"')
  colon_at = manifest.find(b":", key_at) if key_at >= 0 else -1
  open_at = manifest.find(b'"', colon_at) if colon_at >= 0 else -1
  close_at = manifest.find(b'"', open_at + 1) if open_at >= 0 else -1
  return manifest[open_at + 1:close_at].decode("utf-8") if close_at >= 0 else ""


def check_reading(path, manifest, expected):
  """Exits unless the literal scan and JSON read each field alike from the
  bytes `manifest`, and as `expected` (a dict by field) where it says."""
  members = json.loads(manifest.decode("utf-8"))
  show = lambda value: json.dumps(value, ensure_ascii=False)
  for field in FIELDS:
    scanned, parsed = literal_scan(manifest, field), members.get(field, "")
    wanted = expected.get(field, parsed)
    if scanned != wanted or parsed != wanted:
      fail("%s: \"%s\" reads %s by a shortcut's literal scan and %s as JSON%s; not signed"
           % (path, field, show(scanned), show(parsed),
              ", written as %s" % show(wanted) if field in expected else ""))


def public_key(key):
  """The PEM public half of the private key file `key`; exits unless it is EC P-256."""
  result = subprocess.run(["openssl", "pkey", "-in", key, "-pubout", "-text_pub"],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
  if result.returncode != 0:
    fail("%s is not a private key openssl can read:\n%s" % (key, result.stderr.strip()))
  if "ASN1 OID: prime256v1" not in result.stdout:
    fail("%s is not an EC P-256 private key, the only kind a shortcut verifies" % key)
  end = "-----END PUBLIC KEY-----\n"
  return result.stdout[:result.stdout.index(end) + len(end)]


def verifies(public_pem, manifest, line, scratch):
  """Whether the signature line `line` (base64 DER) verifies over `manifest`."""
  try:
    der = base64.b64decode(line.strip(b" \t\r"), validate=True)
  except ValueError:
    return False
  paths = {name: os.path.join(scratch, name) for name in ("public.pem", "signature.der")}
  with open(paths["public.pem"], "w") as f:
    f.write(public_pem)
  with open(paths["signature.der"], "wb") as f:
    f.write(der)
  return subprocess.run(["openssl", "dgst", "-sha256", "-verify", paths["public.pem"],
                         "-signature", paths["signature.der"]], input=manifest,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def main():
  parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
  parser.add_argument("release",
                      help="folder holding launcher/version.json and launcher/launcher.7z")
  parser.add_argument("--key", action="append", required=True,
                      help="a P-256 private key in PEM (repeat for several keys)")
  args = parser.parse_args()
  keys = [(key, public_key(key)) for key in args.key]

  launcher = os.path.join(args.release, "launcher")
  manifest_path = os.path.join(launcher, "version.json")
  signatures_path = manifest_path + ".sig"
  digest, size = hashlib.sha256(), 0
  with open(os.path.join(launcher, "launcher.7z"), "rb") as archive:
    for chunk in iter(lambda: archive.read(1 << 20), b""):
      digest.update(chunk)
      size += len(chunk)
  values = {"sha256": digest.hexdigest(), "size": str(size)}
  with open(manifest_path, "rb") as f:
    original = f.read()
  try:
    manifest = json.loads(original.decode("utf-8"))
  except ValueError as error:
    fail("%s is not JSON in UTF-8: %s" % (manifest_path, error))
  if not isinstance(manifest, dict) or not isinstance(manifest.get("version"), str):
    fail("%s has no top-level \"version\" string" % manifest_path)
  check_reading(manifest_path, original, {})

  signed = original
  if any(manifest.get(field) != value for field, value in values.items()):
    manifest.update(values)
    # UTF-8 as it stands, not \u escapes: the shortcut reads values by a literal scan.
    signed = json.dumps(manifest, indent=2, ensure_ascii=False).encode("utf-8") + b"\n"
  check_reading(manifest_path, signed, dict(values, version=manifest["version"]))

  existing = b""
  if signed == original and os.path.exists(signatures_path):
    with open(signatures_path, "rb") as f:
      existing = f.read()
  new_lines = []
  with tempfile.TemporaryDirectory() as scratch:
    for key, public_pem in keys:
      if any(verifies(public_pem, signed, line, scratch)
             for line in existing.splitlines() + new_lines):
        print("sign_release: %s already holds a signature by %s" % (signatures_path, key))
        continue
      der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key], input=signed,
                           stdout=subprocess.PIPE, check=True).stdout
      line = base64.b64encode(der)
      if not verifies(public_pem, signed, line, scratch):
        fail("the signature openssl made with %s does not verify; nothing written" % key)
      new_lines.append(line)
      print("sign_release: signed with %s" % key)

  if signed != original:
    with open(manifest_path, "wb") as f:
      f.write(signed)
    print("sign_release: wrote sha256 %s and size %s into %s"
          % (values["sha256"], values["size"], manifest_path))
  if signed != original or new_lines:
    if existing and not existing.endswith(b"\n"):
      existing += b"\n"
    with open(signatures_path, "wb") as f:
      f.write(existing + b"".join(line + b"\n" for line in new_lines))
    print("sign_release: %s written, %d new line(s)" % (signatures_path, len(new_lines)))

if __name__ == "__main__":
  main()
