#!/bin/sh
# Makes the throwaway keys of the web-update tests in the folder given: a CA
# and two server certificates (one for 127.0.0.1, one for another name), and
# an Ed25519 key pair for update signatures. Nothing of it is committed.
set -eu
dir=$1
mkdir -p "$dir"
cd "$dir"
[ -s ready ] && exit 0
curve="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
openssl req -x509 $curve -keyout ca.key -out ca.pem -days 3 -subj "/CN=Velmora test CA" 2>/dev/null
for name in server wrong; do
  openssl req $curve -keyout $name.key -out $name.csr -subj "/CN=velmora-test" 2>/dev/null
done
printf 'subjectAltName=IP:127.0.0.1\n' > server.ext
printf 'subjectAltName=DNS:other.example\n' > wrong.ext
for name in server wrong; do
  openssl x509 -req -in $name.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out $name.pem -days 3 \
    -extfile $name.ext 2>/dev/null
done
openssl genpkey -algorithm ed25519 -out sign.pem
openssl pkey -in sign.pem -pubout -outform DER -out sign.pub.der
openssl genpkey -algorithm ed25519 -out other-sign.pem
echo ok > ready
