#!/bin/sh
# Builds the Windows installer: make-msi.sh VERSION FILES_FOLDER OUTPUT.msi
#
# FILES_FOLDER holds what txconv.wxs names: the two programs, the README, the
# licence and the icon. wixl cannot put the install folder on the user's
# PATH, so the Environment table is added to the package it makes: "=-PATH"
# with "[~];[INSTALLDIR]" adds the folder behind what the user's PATH holds,
# and removal takes out only that part again.
set -eu
version=$1 files=$2 output=$3
here=$(cd "$(dirname "$0")" && pwd)
partial="$output.partial"
rm -f "$partial"
(cd "$files" && wixl -a x64 -D Version="$version" -o "$partial" "$here/txconv.wxs")
msibuild "$partial" -i "$here/path.idt" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"
mv "$partial" "$output"
