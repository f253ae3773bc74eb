#!/usr/bin/env bash
# Fails when setup.exe imports a function not on scripts/imports-allowed.txt (what Windows XP SP3
# has), loads by name a DLL that is not Windows' own, has lost its manifest, or has grown beyond
# 256 KiB. Usage: scripts/check-binary.sh [path/to/setup.exe]
set -euo pipefail
exe=${1:-build/windows-x86/setup.exe}
objdump=i686-w64-mingw32-objdump
limit=$((256 * 1024))
allowed='^(KERNEL32|ADVAPI32|USER32|SETUPAPI|CFGMGR32|SHELL32|OLE32|UXTHEME|DWMAPI|CRYPTBASE|VERSION|NTMARTA|USERENV|PROFAPI|APPHELP|PROPSYS|OLEACC|CLBCATQ|COMRES|MPR|NTDLL|msvcrt)\.dll$'
status=0

size=$(stat -c %s "$exe")
echo "size: $size bytes (limit $limit)"
[ "$size" -le "$limit" ] || { echo "FAIL: larger than 256 KiB" >&2; status=1; }

allowed_functions="$(dirname "$0")/imports-allowed.txt"
functions=$($objdump -p "$exe" | awk '/DLL Name:/ {dll = $3; next} dll && /^\t[0-9a-f]+\t/ {print dll, $3}')
echo "imports: $(cut -d' ' -f1 <<<"$functions" | sort -u | tr '\n' ' ')($(wc -l <<<"$functions") functions)"
foreign=$(grep -vxF -f <(grep -v '^#' "$allowed_functions") <<<"$functions" || true)
if [ -n "$foreign" ]; then
    echo "FAIL: imports functions not known to exist on Windows XP SP3:" >&2
    sed 's/^/  /' <<<"$foreign" >&2
    status=1
fi

# Libraries loaded when first needed are named in the program's strings. The C runtime's start-up
# code names GCC's runtime DLL only to look up whether it is already loaded, never to load it.
loaded=$(strings -a "$exe" | grep -iE '^[A-Za-z0-9_-]+\.dll$' | grep -vx 'libgcc_s_dw2-1.dll' | sort -uf)
echo "loads by name: $(echo $loaded)"
for dll in $loaded; do
    grep -qiE "$allowed" <<<"$dll" || { echo "FAIL: loads $dll" >&2; status=1; }
done

# The resources as a script: the manifest is resource type 24, id 1.
resources=$(i686-w64-mingw32-windres -i "$exe" -J coff -O rc 2>/dev/null || true)
manifest=$(sed -n '/^1 24 /,/^END/p' <<<"$resources" | tr -d '"')
grep -q 'level=asInvoker uiAccess=false' <<<"$manifest" ||
    { echo "FAIL: no asInvoker manifest" >&2; status=1; }
if grep -q 'supportedOS' <<<"$manifest"; then
    echo "FAIL: the manifest lists supported operating systems" >&2
    status=1
fi
[ "$status" = 0 ] && echo "manifest: asInvoker, no UI access, no supported-OS list"
exit $status
