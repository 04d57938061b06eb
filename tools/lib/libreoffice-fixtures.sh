# Sourced by the fixture scripts: a private LibreOffice profile whose user
# is "Profile Person" (LibreOffice writes the converting user into a shared
# workbook's records and a presentation's Current User), flat ODF written by
# the caller into "$work", and lo_convert to turn it into a legacy format.
# LibreOffice is a test-time tool only; the made files are committed.
#   out=FOLDER; . tools/lib/libreoffice-fixtures.sh
#   cat > "$work/name.fods" <<...; lo_convert 'xls:MS Excel 97' name.fods lo-name
set -eu
mkdir -p "$out"
out=$(cd "$out" && pwd)
soffice=$(command -v soffice || command -v libreoffice || true)
if [ -z "$soffice" ]; then
  echo "$(basename "$0"): LibreOffice is needed (apt-get install libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/profile/user"
cat > "$work/profile/user/registrymodifications.xcu" <<'XCU'
<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.UserProfile/Data"><prop oor:name="givenname" oor:op="fuse"><value>Profile</value></prop></item>
<item oor:path="/org.openoffice.UserProfile/Data"><prop oor:name="sn" oor:op="fuse"><value>Person</value></prop></item>
<item oor:path="/org.openoffice.UserProfile/Data"><prop oor:name="initials" oor:op="fuse"><value>PP</value></prop></item>
</oor:items>
XCU

# The namespaces every flat ODF document here declares.
ns='xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0" xmlns:officeooo="http://openoffice.org/2009/office" xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.3"'

# lo_convert FILTER SOURCE NAME [IMPORT_FILTER]: converts $work/SOURCE and
# copies it to $out/NAME.EXT. The import filter is for documents whose type
# LibreOffice's detection mistakes (an embedded document's own mimetype).
lo_convert() {
  "$soffice" -env:UserInstallation="file://$work/profile" --headless ${4:+--infilter="$4"} \
    --convert-to "$1" --outdir "$work" "$work/$2" >/dev/null 2>&1
  cp "$work/${2%.*}.${1%%:*}" "$out/$3.${1%%:*}"
}
