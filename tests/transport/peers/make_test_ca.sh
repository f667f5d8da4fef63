#!/bin/sh
# Makes a test certificate authority and server certificates in DIR with openssl:
#   ca.pem            the authority (to trust through a CA file)
#   server.pem/.key   for localhost, 127.0.0.1 and ::1, signed by the authority
#   other.pem/.key    for other.example only (a host name that does not match), signed by it
#   expired.pem/.key  like server.pem, valid in 2020 only (signed through `openssl ca`)
#   self.pem/.key     for localhost and 127.0.0.1, self-signed
# Usage: make_test_ca.sh DIR
set -eu
dir=$1
cd "$dir"
ec="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
names="subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1"

openssl req -x509 $ec -keyout ca.key -out ca.pem -days 30 -subj "/CN=Quillet Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null

signed() { # name subjectAltName
  openssl req -new $ec -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" -addext "$2" 2>/dev/null
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 -copy_extensions copy \
    -out "$1.pem" 2>/dev/null
}
signed server "$names"
signed other "subjectAltName=DNS:other.example"

# An expired certificate: `openssl ca` takes explicit dates.
openssl req -new $ec -keyout expired.key -out expired.csr -subj "/CN=expired" -addext "$names" 2>/dev/null
mkdir -p issued && : > index.txt && echo 1000 > serial
cat > ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = index.txt
new_certs_dir = issued
serial = serial
default_md = sha256
policy = any
copy_extensions = copy
[any]
commonName = supplied
CNF
openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in expired.csr -out expired.pem -notext \
  -startdate 20200101000000Z -enddate 20200102000000Z 2>/dev/null

openssl req -x509 $ec -keyout self.key -out self.pem -days 30 -subj "/CN=localhost" \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" 2>/dev/null
