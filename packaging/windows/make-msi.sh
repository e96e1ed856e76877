#!/bin/sh
# Builds the Windows installer: make-msi.sh VERSION FILES_FOLDER OUTPUT.msi EPOCH
#
# FILES_FOLDER holds what txconv.wxs names: the two programs, the README, the
# licence and the icon. wixl cannot put the install folder on the user's
# PATH, so the Environment table is added to the package it makes: "=-PATH"
# with "[~];[INSTALLDIR]" adds the folder behind what the user's PATH holds,
# and removal takes out only that part again.
#
# The same sources give the same bytes: every time written is EPOCH (the
# files' own, and the summary's, which wixl and msibuild take from the clock,
# so the clock stands still for them), the product code comes from the
# version (a major upgrade needs a new one for each) and the package code
# from the version, the .wxs, the table added and the files, as a package
# code is unique to its content.
set -eu
version=$1 files=$2 output=$3 epoch=$4
here=$(cd "$(dirname "$0")" && pwd)
partial="$output.partial"
rm -f "$partial"

# A GUID from a text, in the form of a name-based one.
guid() {
    printf '%s' "$1" | sha256sum | sed -E 's/^(.{8})(.{4}).(.{3}).(.{3})(.{12}).*/\1-\2-5\3-8\4-\5/' | tr a-f A-F
}
product=$(guid "txconv product code $version")
package=$(guid "txconv package $version $(cat "$here/txconv.wxs" "$here/path.idt" | sha256sum)
$(cd "$files" && LC_ALL=C ls | xargs sha256sum)")
frozen=$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')
still() { TZ=UTC faketime -f "$frozen" "$@"; }

touch -d "@$epoch" "$files"/*
(cd "$files" && still wixl -a x64 -D Version="$version" -D ProductCode="$product" -o "$partial" "$here/txconv.wxs")
still msibuild "$partial" -i "$here/path.idt" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"
# The summary again, with the package code: msibuild sets the subject too.
still msibuild "$partial" -s "txconv $version: converts 95-value tables between .tx and .txt" txconv "x64;1033" \
    "{$package}"
mv "$partial" "$output"
