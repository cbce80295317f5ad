#!/usr/bin/env python3
"""Signs a launcher release for shortcuts built with NOLM_RELEASE_KEYS.

  sign_release.py RELEASE_FOLDER --key PRIVATE.pem [--key OTHER.pem ...]

RELEASE_FOLDER holds launcher/version.json and launcher/launcher.7z, as they
are uploaded. The archive's SHA-256 is written into version.json as "sha256"
(the other members stay as they are), then one signature line per key is
appended to launcher/version.json.sig, made by openssl exactly as a shortcut
verifies it: ECDSA P-256 with SHA-256 over the bytes of version.json, DER,
base64, one line.

When version.json already carries the archive's digest it is left byte for
byte as it is, so a second key (kept on another machine) can add its line
later. When the digest had to be written or changed, the old signature lines
no longer match the manifest and the file is started afresh.
"""

import argparse
import base64
import hashlib
import json
import os
import subprocess
import sys


def main():
  parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
  parser.add_argument("release", help="folder holding launcher/version.json and launcher/launcher.7z")
  parser.add_argument("--key", action="append", required=True,
                      help="a P-256 private key in PEM (repeat for several keys)")
  args = parser.parse_args()

  launcher = os.path.join(args.release, "launcher")
  manifest_path = os.path.join(launcher, "version.json")
  signatures_path = manifest_path + ".sig"
  digest = hashlib.sha256()
  with open(os.path.join(launcher, "launcher.7z"), "rb") as archive:
    for chunk in iter(lambda: archive.read(1 << 20), b""):
      digest.update(chunk)
  with open(manifest_path, "rb") as f:
    manifest = json.loads(f.read().decode("utf-8"))
  if not isinstance(manifest, dict) or not isinstance(manifest.get("version"), str):
    sys.exit("sign_release: %s has no \"version\" string" % manifest_path)

  if manifest.get("sha256") != digest.hexdigest():
    manifest["sha256"] = digest.hexdigest()
    # UTF-8 as it stands, not \u escapes: the shortcut reads values by a literal scan.
    with open(manifest_path, "wb") as f:
      f.write(json.dumps(manifest, indent=2, ensure_ascii=False).encode("utf-8") + b"\n")
    if os.path.exists(signatures_path):
      os.remove(signatures_path)
    print("sign_release: wrote sha256 %s into %s" % (digest.hexdigest(), manifest_path))

  with open(manifest_path, "rb") as f:
    signed = f.read()
  for key in args.key:
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key], input=signed,
                         stdout=subprocess.PIPE, check=True).stdout
    with open(signatures_path, "ab") as f:
      f.write(base64.b64encode(der) + b"\n")
    print("sign_release: appended a signature by %s to %s" % (key, signatures_path))


if __name__ == "__main__":
  main()
