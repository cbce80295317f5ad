#!/usr/bin/env python3
"""tools/sign_release.py run as a release pipeline runs it, with keys made in
WORK: idempotent, "sha256" and "size" where a shortcut's literal scan finds
them, and nothing touched for a manifest the scan would misread, a key that is
not P-256 or a signature that does not verify.
Usage: check_sign_release.py tools/sign_release.py WORK
"""

import base64
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys

script, work = sys.argv[1:3]
shutil.rmtree(work, ignore_errors=True)
launcher = os.path.join(work, "release", "launcher")
os.makedirs(launcher)
manifest_path = os.path.join(launcher, "version.json")
signatures_path = manifest_path + ".sig"
failures = []


def key(name, algorithm, option):
  path = os.path.join(work, name + ".pem")
  subprocess.run(["openssl", "genpkey", "-algorithm", algorithm, "-pkeyopt", option, "-out", path],
                 check=True, stderr=subprocess.DEVNULL)
  return path


a, b = (key(name, "EC", "ec_paramgen_curve:P-256") for name in "ab")
p384 = key("p384", "EC", "ec_paramgen_curve:P-384")
rsa = key("rsa", "RSA", "rsa_keygen_bits:1024")


def files():
  """The manifest's bytes and the signature file's (None without it)."""
  return tuple(open(p, "rb").read() if os.path.exists(p) else None
               for p in (manifest_path, signatures_path))


def release(manifest, archive=b"7z\xbc\xaf\x27\x1c archive bytes"):
  """A release folder holding `manifest` and `archive`, no signature file."""
  if os.path.exists(signatures_path):
    os.remove(signatures_path)
  open(manifest_path, "wb").write(manifest.encode())
  open(os.path.join(launcher, "launcher.7z"), "wb").write(archive)
  return hashlib.sha256(archive).hexdigest(), str(len(archive))


def sign(*keys, env=None):
  args = [sys.executable, script, os.path.join(work, "release")]
  return subprocess.run(args + [arg for k in keys for arg in ("--key", k)], env=env,
                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def expect(condition, what, result=None):
  if not condition:
    failures.append(what + ("\n  output: " + result.stdout.strip() if result else ""))
    print("FAIL: " + failures[-1])


def scan(manifest, field):
  """A shortcut's reading: the first "field", the first ':' after it, the next '"'..'"'."""
  found = re.search(rb'"%s"[^:]*:[^"]*"([^"]*)"' % field.encode(), manifest)
  return found and found.group(1).decode()


def signed_by(*keys):
  """Whether the signature file holds exactly one line per key, in order, each verifying."""
  manifest, signatures = files()
  lines = signatures.splitlines()
  der, pem = os.path.join(work, "line.der"), os.path.join(work, "key.pub")
  for line, private in zip(lines, keys):
    subprocess.run(["openssl", "pkey", "-in", private, "-pubout", "-out", pem], check=True)
    open(der, "wb").write(base64.b64decode(line))
    if subprocess.run(["openssl", "dgst", "-sha256", "-verify", pem, "-signature", der],
                      input=manifest, stdout=subprocess.DEVNULL).returncode != 0:
      return False
  return len(lines) == len(keys)


# Signed twice, a second key later, then both again: one line per key, the
# files unchanged by a run that adds nothing.
digest, size = release('{"version": "1.0", "name": "Zoë"}')
first = sign(a)
manifest, signatures = files()
expect(first.returncode == 0 and signed_by(a), "signed with a", first)
written = json.loads(manifest)
expect(scan(manifest, "sha256") == written.get("sha256") == digest and
       scan(manifest, "size") == written.get("size") == size and "Zoë".encode() in manifest,
       "sha256, size and the UTF-8 as it stands, read back by the scan and as JSON")
again = sign(a)
expect(again.returncode == 0 and files() == (manifest, signatures),
       "a second run changed the files", again)
later, both = sign(b), files()
expect(both[0] == manifest and both[1].startswith(signatures) and signed_by(a, b) and
       sign(a, b).returncode == 0 and files() == both, "key b added later: a's line, b's", later)
digest, size = release('{"version": "1.1"}', b"another archive")
open(signatures_path, "wb").write(signatures)
moved = sign(b)
expect(signed_by(b) and scan(files()[0], "size") == size,
       "a new archive: the manifest rewritten and the signatures started afresh", moved)

# A signer that signs other bytes than the manifest, as a wrong token would.
fake = os.path.join(work, "bin", "openssl")
os.makedirs(os.path.dirname(fake))
with open(fake, "w") as f:
  f.write('#!/bin/sh\ncase " $* " in *" -sign "*) exec %s "$@" </dev/null;; esac\nexec %s "$@"\n'
          % ((shutil.which("openssl"),) * 2))
os.chmod(fake, 0o755)
wrong_signer = dict(os.environ, PATH=os.path.dirname(fake) + os.pathsep + os.environ["PATH"])

# What the literal scan would misread, or a key or signature that will not do:
# refused, naming the field or the key, and nothing written.
zeros = "0" * 64
for manifest, keys, env, named in [
    ('{"version": "2.0", "previous": {"sha256": "%s"}}' % zeros, [a], None, '"sha256"'),
    ('{"version": "2.0", "previous": {"size": "1"}, "sha256": "%s"}' % zeros, [a], None, '"size"'),
    ('{"old": {"version": "1.0"}, "version": "2.0"}', [a], None, '"version"'),
    ('{"version": "1.0", "version": "2.0"}', [a], None, '"version"'),
    # Agrees before writing ("size" has no ':' after it), not once written.
    ('{"version": "2.0", "note": "size"}', [a], None, '"size"'),
    ('{"name": "no version"}', [a], None, '"version"'),
    ('{"version": "2.0"}', [a, p384], None, p384),
    ('{"version": "2.0"}', [rsa], None, rsa),
    ('{"version": "2.0"}', [a], wrong_signer, "does not verify")]:
  release(manifest)
  before = files()
  refused = sign(*keys, env=env)
  expect(refused.returncode != 0 and named in refused.stdout and files() == before,
         "%s with %s: not refused naming %s, files untouched"
         % (manifest, " ".join(os.path.basename(k) for k in keys), named), refused)

print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
