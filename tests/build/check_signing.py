#!/usr/bin/env python3
"""The signing round trip of the README, with a throwaway certificate.

Signs the executable with osslsigncode, verifies the signature against the
certificate (and that it does not verify against another one), strips the
signature and compares the bytes with the unsigned executable, then runs the
signed executable's invalid-configuration path under Wine: one box, exit
code 1. The certificate and its key are made in WORK, inside the build tree,
and removed with it once everything passed.

  check_signing.py --exe nolm-shortcut.exe --work WORK
                   --state STATE --testenv testenv.sh --data TESTDATA
"""

import argparse
import filecmp
import os
import shlex
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness as h  # noqa: E402

CAPTION = "Nolm Launcher"
INVALID_EN = 'Invalid configuration: nolm/config.json must contain {"game": "<slug>"}.'


class Failure(Exception):
  pass


def run(command, expect_success=True):
  """Runs `command`, shows its output, and returns it with the exit status."""
  print("$ " + " ".join(shlex.quote(os.path.basename(part) if os.path.isabs(part) else part)
                        for part in command), flush=True)
  result = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True)
  print(result.stdout.rstrip(), flush=True)
  if expect_success and result.returncode != 0:
    raise Failure("exit status %d" % result.returncode)
  if not expect_success and result.returncode == 0:
    raise Failure("succeeded, but must fail")
  return result.stdout


def make_certificate(work, name):
  """A self-signed code-signing certificate and its key, valid for a day."""
  cert = os.path.join(work, name + ".pem")
  key = os.path.join(work, name + ".key")
  subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                  "-subj", "/CN=Nolm test publisher (%s)" % name, "-keyout", key, "-out", cert,
                  "-addext", "extendedKeyUsage=codeSigning",
                  "-addext", "keyUsage=critical,digitalSignature"],
                 check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL)
  return cert, key


def check_round_trip(exe, work):
  """Signs, verifies and strips; returns the signed executable."""
  unsigned = os.path.join(work, "unsigned.exe")
  signed = os.path.join(work, "signed.exe")
  stripped = os.path.join(work, "stripped.exe")
  shutil.copyfile(exe, unsigned)
  cert, key = make_certificate(work, "publisher")
  other_cert, _ = make_certificate(work, "someone-else")

  run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Nolm Launcher", "-h", "sha256",
       "-in", unsigned, "-out", signed])
  output = run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed])
  if "Signature verification: ok" not in output:
    raise Failure("osslsigncode verify did not report a good signature")
  # The check has teeth: another certificate and no signature both fail.
  run(["osslsigncode", "verify", "-CAfile", other_cert, "-in", signed], expect_success=False)
  run(["osslsigncode", "verify", "-CAfile", cert, "-in", unsigned], expect_success=False)

  run(["osslsigncode", "remove-signature", "-in", signed, "-out", stripped])
  if filecmp.cmp(signed, unsigned, shallow=False):
    raise Failure("the signed executable is the unsigned one")
  if not filecmp.cmp(stripped, unsigned, shallow=False):
    raise Failure("without its signature, the signed executable differs from the unsigned one")
  print("stripped: identical to the unsigned executable, %d bytes (signed: %d)"
        % (os.path.getsize(stripped), os.path.getsize(signed)), flush=True)
  return signed


def check_signed_runs(harness):
  """The signed program still shows the invalid-configuration box and exits 1."""
  case = harness.new_case("signed-invalid-config")
  program = case.make_game('{"name": "x"}')
  report = case.run_driver(program)
  expected = {"timed_out": "0", "box_count": "1", "box.1.caption": CAPTION,
              "box.1.text": INVALID_EN, "exit_code": "1"}
  wrong = {key: report.get(key) for key, value in expected.items() if report.get(key) != value}
  if wrong:
    raise Failure("the signed program under Wine: %r\n%s" % (wrong, report.summary()))
  print("signed program under Wine: exit code 1, one box %r: %r"
        % (report["box.1.caption"], report["box.1.text"]), flush=True)


def main():
  parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
  parser.add_argument("--exe", required=True, help="nolm-shortcut.exe to sign")
  parser.add_argument("--work", required=True, help="folder for the certificates and copies")
  h.add_environment_arguments(parser)
  args = parser.parse_args()
  work = os.path.abspath(args.work)
  shutil.rmtree(work, ignore_errors=True)
  os.makedirs(work)
  try:
    signed = check_round_trip(args.exe, work)
    check_signed_runs(h.Harness(args.state, args.testenv, signed, args.data))
  except (Failure, subprocess.CalledProcessError, RuntimeError) as error:
    print("FAIL: %s" % error)
    return 1
  shutil.rmtree(work)
  return 0


if __name__ == "__main__":
  sys.exit(main())
