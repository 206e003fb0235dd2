#!/usr/bin/env python3
"""Writes the header that builds the manifest-signing public key into the launcher.

usage: manifest_key_header.py OUTPUT [PUBLIC_KEY.pem]
PUBLIC_KEY.pem is an ECDSA P-256 public key as "openssl ec -pubout" writes it
(a SubjectPublicKeyInfo). Without it the header says that the build is
unsigned. Anything else is refused with a reason on stderr and exit code 1.
"""
import base64
import os
import sys

# SubjectPublicKeyInfo of id-ecPublicKey on prime256v1, up to the uncompressed point's 0x04.
P256_SPKI_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200") + b"\x04"


def public_point(pem_text):
    lines = [line.strip() for line in pem_text.strip().splitlines()]
    if not lines or lines[0] != "-----BEGIN PUBLIC KEY-----" or lines[-1] != "-----END PUBLIC KEY-----":
        raise ValueError("not a PEM public key (-----BEGIN PUBLIC KEY-----)")
    der = base64.b64decode("".join(lines[1:-1]), validate=True)
    if len(der) != len(P256_SPKI_PREFIX) + 64 or not der.startswith(P256_SPKI_PREFIX):
        raise ValueError("not an uncompressed ECDSA P-256 public key")
    return der[len(P256_SPKI_PREFIX):]


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    output = sys.argv[1]
    if len(sys.argv) == 3:
        try:
            with open(sys.argv[2], encoding="ascii") as f:
                point = public_point(f.read())
        except (OSError, ValueError, UnicodeDecodeError) as error:
            sys.stderr.write("%s: %s\n" % (sys.argv[2], error))
            sys.exit(1)
        text = ("#define BRINDLE_MANIFEST_SIGNED 1\n"
                "// X then Y of the public key, big-endian.\n"
                "#define BRINDLE_MANIFEST_KEY {%s}\n" % ", ".join("0x%02x" % b for b in point))
    else:
        text = "#define BRINDLE_MANIFEST_SIGNED 0\n"
    try:
        with open(output) as f:
            if f.read() == text:
                return  # unchanged: nothing to rebuild
    except OSError:
        pass
    with open(output + ".tmp", "w") as f:
        f.write(text)
    os.replace(output + ".tmp", output)


if __name__ == "__main__":
    main()
