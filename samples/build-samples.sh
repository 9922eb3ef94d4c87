#!/usr/bin/env bash
# Builds every sample package, and one bundle, into OUTDIR with vsktool.
#   samples/build-samples.sh OUTDIR
# VSKTOOL names the tool (default: build/bin/vsktool of this checkout).
# Files are owned by root and dated SAMPLES_TIME (default 2010-01-01), and
# permissions are made the same whatever the checkout's umask was, so the
# same sources always give the same package bytes.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
vsktool=${VSKTOOL:-$here/../build/bin/vsktool}
stamp=${SAMPLES_TIME:-1262304000}

if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
[ -x "$vsktool" ] || { echo "$0: no $vsktool: build it first" >&2; exit 1; }
out=$1
mkdir -p "$out"

staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT

# build NAME VERSION [vsktool options...]: packages samples/NAME as
# OUTDIR/NAME-VERSION.vsk.
build() {
  local name=$1 version=$2
  shift 2
  cp -R "$here/$name" "$staging/$name"
  chmod -R u=rwX,go=rX "$staging/$name"
  "$vsktool" build --name "$name" --version "$version" --owner-root --time "$stamp" "$@" \
    "$staging/$name" "$out/$name-$version.vsk"
  echo "$out/$name-$version.vsk"
}

build base-system 2.9.5 --revision 1 --arch i386 \
  --description "Configuration files every router starts from" --provides base
build netutils 1.2 --arch i386 --description "Network status tools" \
  --depends base-system:2.9 --oninstall "$here/scripts/netutils.oninstall"
build webadmin 3.0rc3 --arch i386 --description "Web administration pages" \
  --depends netutils:1.2 --depends base-system \
  --oninstall "$here/scripts/webadmin.oninstall" --onuninstall "$here/scripts/webadmin.onuninstall"
build firewall 2.0 --arch i386 --description "Packet filter rules" \
  --provides packetfilter:2.0::1 --oninstall "$here/scripts/firewall.oninstall"
build oldfirewall 1.4 --arch i386 --description "The packet filter of earlier releases" \
  --conflicts firewall
build localconfig 1.0 --untracked --description "Site settings outside the package database"

"$vsktool" bundle --name netsuite --version 1.2 --arch i386 \
  --description "Network tools with the web administration, which starts disabled" \
  --depends base-system:2.9 --disabled webadmin \
  "$out/netsuite-1.2.vsk" "$out/netutils-1.2.vsk" "$out/webadmin-3.0rc3.vsk"
echo "$out/netsuite-1.2.vsk"
