#!/bin/bash
# Checks the driver package: one solid block, BCJ2 with LZMA2 (2^23 main, 2^19 side streams),
# the entries of both folders, and contents equal to the inputs. Also packs once with a
# redistributables folder (stand-in files) to check the full twelve-entry layout.
#   package_test.sh PACKAGE PACKAGE_CMAKE X86_DLL AMD64_DLL INF_DIR
set -euo pipefail

package=$1 package_cmake=$2 x86_dll=$3 amd64_dll=$4 inf_dir=$5
work=$(mktemp -d "${TMPDIR:-/tmp}/zulkor-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# check PACKAGE EXPECTED_PATHS...: entries, block and methods, then the contents.
check() {
    local archive=$1; shift
    local listing
    listing=$(7zz l -slt "$archive")
    grep -qx 'Solid = +' <<<"$listing" || fail "$archive: not solid"
    grep -qx 'Blocks = 1' <<<"$listing" || fail "$archive: not one block"
    # Every file: BCJ2, its main stream LZMA2 with at most 2^23 (7zz shrinks the dictionary to
    # the data when that is smaller), its side streams LZMA2 with 2^19.
    local method bad=0
    while read -r method; do
        if [[ ! "$method" =~ ^BCJ2\ LZMA2:([0-9]+)([km]?)\ LZMA2:19\ LZMA2:19$ ]]; then
            bad=1
        else
            case ${BASH_REMATCH[2]} in
                '') [ "${BASH_REMATCH[1]}" -le 23 ] || bad=1 ;;
                k) [ "${BASH_REMATCH[1]}" -le 8192 ] || bad=1 ;;
                m) [ "${BASH_REMATCH[1]}" -le 8 ] || bad=1 ;;
            esac
        fi
        [ "$bad" -eq 0 ] || { fail "$archive: method '$method'"; break; }
    done < <(grep '^Method = .' <<<"$listing" | tail -n +2 | sed 's/^Method = //')
    local expected actual
    expected=$(printf '%s\n' "$@" | sort)
    actual=$(grep '^Path = ' <<<"$listing" | sed 's/^Path = //' | tail -n +2 | sort)
    [ "$expected" = "$actual" ] || fail "$archive: entries differ:"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"
    grep -A4 '^Path = x86$' <<<"$listing" | grep -q '^Attributes = D' || fail "$archive: x86 is not a folder"
    grep -A4 '^Path = amd64$' <<<"$listing" | grep -q '^Attributes = D' || fail "$archive: amd64 is not a folder"
}

compare() {
    local dir=$1 entry=$2 source=$3
    cmp -s "$dir/$entry" "$source" || fail "$entry differs from $source"
}

# The built package: our own files only unless the build named a redistributables folder.
own=(x86 amd64 x86/zulkor.dll amd64/zulkor.dll x86/Quorvallent.inf amd64/Quorvallent.inf)
if 7zz l "$package" | grep -q 'devcon.exe'; then
    own+=(x86/devcon.exe amd64/devcon.exe x86/WdfCoInstaller01009.dll amd64/WdfCoInstaller01009.dll
          x86/WUDFUpdate_01009.dll amd64/WUDFUpdate_01009.dll)
fi
check "$package" "${own[@]}"
mkdir -p "$work/out"
7zz x -bd -y -o"$work/out" "$package" >/dev/null
compare "$work/out" x86/zulkor.dll "$x86_dll"
compare "$work/out" amd64/zulkor.dll "$amd64_dll"
compare "$work/out" x86/Quorvallent.inf "$inf_dir/x86/Quorvallent.inf"
compare "$work/out" amd64/Quorvallent.inf "$inf_dir/amd64/Quorvallent.inf"

# With a redistributables folder: all twelve entries, the vendor files unchanged.
redist=$work/redist
for arch in x86 amd64; do
    mkdir -p "$redist/$arch"
    for name in devcon.exe WdfCoInstaller01009.dll WUDFUpdate_01009.dll; do
        head -c 3000 /dev/urandom >"$redist/$arch/$name"
    done
done
cmake -DSEVENZIP="$(command -v 7zz)" -DX86_DLL="$x86_dll" -DAMD64_DLL="$amd64_dll" -DINF_DIR="$inf_dir" \
      -DREDIST_DIR="$redist" -DSTAGE="$work/stage" -DOUTPUT="$work/full.7z" -P "$package_cmake"
check "$work/full.7z" x86 amd64 \
    x86/devcon.exe amd64/devcon.exe x86/zulkor.dll amd64/zulkor.dll \
    x86/WdfCoInstaller01009.dll amd64/WdfCoInstaller01009.dll \
    x86/WUDFUpdate_01009.dll amd64/WUDFUpdate_01009.dll \
    x86/Quorvallent.inf amd64/Quorvallent.inf
mkdir -p "$work/full"
7zz x -bd -y -o"$work/full" "$work/full.7z" >/dev/null
for arch in x86 amd64; do
    for name in devcon.exe WdfCoInstaller01009.dll WUDFUpdate_01009.dll; do
        compare "$work/full" "$arch/$name" "$redist/$arch/$name"
    done
done

# A named folder that lacks a file fails the packaging instead of shipping half a package.
rm "$redist/amd64/devcon.exe"
if cmake -DSEVENZIP="$(command -v 7zz)" -DX86_DLL="$x86_dll" -DAMD64_DLL="$amd64_dll" -DINF_DIR="$inf_dir" \
         -DREDIST_DIR="$redist" -DSTAGE="$work/stage" -DOUTPUT="$work/half.7z" -P "$package_cmake" 2>/dev/null; then
    fail "packaging went on without amd64/devcon.exe"
fi

[ "$failures" -eq 0 ] && echo "driver package: all checks passed"
exit $((failures > 0))
