#!/usr/bin/env bash
# Writes the seed corpus of the certificate summary target: certificates of every shape the
# summary handles (signature algorithms in and out of the name table, issuers with one, two
# or no common names, multi-valued and UTF-8 names, a CA-signed leaf, far expiry dates) and
# slot contents that are not certificates (PEM text, a truncated certificate, a public key).
# The private keys live in a temporary folder that is removed on exit: no key is ever
# written to the corpus. Usage: fuzz/make-summary-seeds.sh [FOLDER] (default
# fuzz/corpus/summary). The committed seeds were made by this script; run it again to
# refresh them.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-fuzz/corpus/summary}
mkdir -p "$out"
keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT

key() {  # key NAME ALGORITHM [OPTION...]
    local name=$1 algorithm=$2
    shift 2
    openssl genpkey -quiet -algorithm "$algorithm" "$@" -out "$keys/$name.pem"
}
self_signed() {  # self_signed FILE KEY SUBJECT DAYS [OPTION...]
    local file=$1 name=$2 subject=$3 days=$4
    shift 4
    openssl req -x509 -new -key "$keys/$name.pem" -subj "$subject" -days "$days" \
        -outform DER -out "$out/$file" "$@"
}

key rsa RSA -pkeyopt rsa_keygen_bits:2048
key ec EC -pkeyopt ec_paramgen_curve:P-256
key ed ED25519

self_signed rsa-sha256.der rsa "/CN=Example CA" 3650 -sha256
self_signed rsa-sha1.der rsa "/CN=Old CA" 365 -sha1
self_signed rsa-sha384.der rsa "/C=JP/O=Example/CN=Example CA 384" 365 -sha384
self_signed rsa-sha512.der rsa "/CN=Example CA 512" 365 -sha512
self_signed rsa-pss.der rsa "/CN=PSS CA" 365 -sha256 -sigopt rsa_padding_mode:pss
self_signed ecdsa-p256.der ec "/CN=EC CA" 365 -sha256
self_signed ed25519.der ed "/CN=Edwards CA" 365
self_signed two-common-names.der rsa "/CN=First/O=Example/CN=Second" 365 -sha256
self_signed no-common-name.der rsa "/C=JP/O=No Common Name" 365 -sha256
self_signed multi-valued-name.der rsa "/CN=Joined+O=Together/CN=Last" 365 -sha256 -multivalue-rdn
self_signed utf8-name.der rsa "/CN=Zertifikat Ä 証明書" 365 -sha256 -utf8
self_signed far-expiry.der ec "/CN=Long Lived" 2900000 -sha256

# A leaf signed by the CA above: issuer and subject differ.
openssl req -new -key "$keys/ec.pem" -subj "/CN=device.example" -out "$keys/leaf.csr"
openssl x509 -req -in "$keys/leaf.csr" -CA <(openssl x509 -inform DER -in "$out/rsa-sha256.der") \
    -CAkey "$keys/rsa.pem" -CAcreateserial -CAserial "$keys/serial" -days 825 -sha256 \
    -outform DER -out "$out/leaf-signed-by-ca.der" 2>/dev/null

# Slot contents that are not a DER certificate.
openssl x509 -inform DER -in "$out/rsa-sha256.der" -out "$out/pem-text.crt"
head -c 300 "$out/rsa-sha256.der" >"$out/truncated.der"
openssl pkey -in "$keys/ec.pem" -pubout -outform DER -out "$out/public-key.der"

ls -l "$out"
