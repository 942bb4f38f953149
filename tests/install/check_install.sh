#!/usr/bin/env bash
# Installs a build into a temporary DESTDIR and checks that every file lands where
# Debian and freedesktop.org desktops look for it, and nothing else does.
#   check_install.sh BUILD_DIR [GUI(ON|OFF|1|0)] [CMAKE]
set -euo pipefail
build=$1
cmake=${3:-cmake}
case ${2:-ON} in ON|1|TRUE|true) gui=1 ;; *) gui=0 ;; esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

DESTDIR=$root "$cmake" --install "$build" --prefix /usr >"$work/install.log" \
    || { cat "$work/install.log" >&2; fail "cmake --install"; exit 1; }

expected=(usr/bin/ostrevale-cli usr/share/man/man1/ostrevale-cli.1.gz usr/share/doc/ostrevale/copyright
          usr/share/doc/ostrevale/changelog.gz usr/share/bash-completion/completions/ostrevale-cli)
if [ "$gui" = 1 ]; then
    expected+=(
        usr/bin/ostrevale
        usr/share/man/man1/ostrevale.1.gz
        usr/share/applications/io.github.ostrevale.Ostrevale.desktop
        usr/share/metainfo/io.github.ostrevale.Ostrevale.metainfo.xml
        usr/share/mime/packages/io.github.ostrevale.Ostrevale.xml
    )
    for size in 16 32 48 64 128 256; do
        expected+=("usr/share/icons/hicolor/${size}x${size}/apps/ostrevale.png")
    done
fi

# Exactly the expected files: no test programs, no stray build products.
(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$work/installed"
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
if ! diff -u "$work/expected" "$work/installed" >"$work/diff"; then
    fail "installed files differ from the expected ones:"
    cat "$work/diff" >&2
fi

for program in usr/bin/ostrevale-cli usr/bin/ostrevale; do
    [ -e "$root/$program" ] || continue
    [ -x "$root/$program" ] || fail "$program is not executable"
done

# An icon's pixel size is the one its folder names (the PNG header's width and height).
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3*256+$4, $7*256+$8 }'; }
for icon in "$root"/usr/share/icons/hicolor/*/apps/ostrevale.png; do
    [ -e "$icon" ] || continue
    folder=$(basename "$(dirname "$(dirname "$icon")")")
    [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] \
        || fail "$icon is not a PNG"
    [ "$(png_size "$icon")" = "$folder" ] || fail "$icon is $(png_size "$icon"), not $folder"
done

desktop=$root/usr/share/applications/io.github.ostrevale.Ostrevale.desktop
if [ -e "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate found problems"
    grep -qx 'Exec=ostrevale %f' "$desktop" || fail "desktop entry does not start ostrevale %f"
    grep -qx 'Categories=Utility;Archiving;' "$desktop" || fail "desktop entry categories"
    grep -qx 'MimeType=application/x-img-archive-v2;' "$desktop" || fail "desktop entry MimeType"
    for key in Name Comment; do
        grep -q "^$key=" "$desktop" || fail "desktop entry has no English $key"
        grep -q "^$key\[zh_CN\]=" "$desktop" || fail "desktop entry has no Chinese $key"
    done
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ -e "$root/usr/share/icons/hicolor/48x48/apps/$icon.png" ] \
        || fail "desktop entry names icon '$icon', which is not installed"
fi

metainfo=$root/usr/share/metainfo/io.github.ostrevale.Ostrevale.metainfo.xml
if [ -e "$metainfo" ] && command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --pedantic "$metainfo" >"$work/appstream.log" 2>&1 \
        || { cat "$work/appstream.log" >&2; fail "appstreamcli validate found problems"; }
fi

# The installed command line runs from its new place and its man page names every
# command and option that its --help lists.
cli=$root/usr/bin/ostrevale-cli
man=$work/ostrevale-cli.1
gzip -dc "$root/usr/share/man/man1/ostrevale-cli.1.gz" >"$man"
if "$cli" --help >"$work/help"; then
    commands=$(awk '/^Commands:/ { on = 1; next } on && /^  [a-z]/ { print $1 } on && /^$/ { on = 0 }' "$work/help")
    [ -n "$commands" ] || fail "ostrevale-cli --help lists no commands"
    for command in $commands; do
        grep -q "^\.BI \"$command " "$man" || fail "man page lacks the command $command"
        "$cli" "$command" --help >"$work/help-$command" || fail "ostrevale-cli $command --help"
        for option in $(grep -oE '^ +(-[a-z], )?--[a-z-]+' "$work/help-$command" | grep -oE -- '--[a-z-]+' | sort -u); do
            [ "$option" = --help ] && continue
            # roff writes a dash in an option as \-
            grep -qF -- "${option//-/\\-}" "$man" || fail "man page lacks $command $option"
        done
    done
else
    fail "installed ostrevale-cli --help"
fi
"$cli" create --version 2 "$work/a.img" && printf 'data' >"$work/one.txt" \
    && "$cli" add --quiet "$work/a.img" "$work/one.txt" \
    && [ "$("$cli" list "$work/a.img" | cut -f1)" = one.txt ] \
    || fail "installed ostrevale-cli could not create, fill and list an archive"

# The completion is a script bash-completion can load, for the program of that name.
completion=$root/usr/share/bash-completion/completions/ostrevale-cli
if [ -e "$completion" ] && [ -e /usr/share/bash-completion/bash_completion ]; then
    bash -c 'source /usr/share/bash-completion/bash_completion && source "$1" && complete -p ostrevale-cli' \
        _ "$completion" >/dev/null || fail "the bash completion does not load"
fi

# The file type of version 2 archives, as a desktop sees it: the installed tree, copied to a
# clean prefix, in front of the system's own types. An archive that begins with VER2 is of
# the type whatever its name, and opens in the editor; a version 1 archive, a disk image
# and a text file that share its name or its first bytes are not.
mimexml=$root/usr/share/mime/packages/io.github.ostrevale.Ostrevale.xml
if [ -e "$mimexml" ]; then
    type=application/x-img-archive-v2
    entry=io.github.ostrevale.Ostrevale.desktop
    prefix=$work/prefix
    home=$work/home
    files=$work/types
    mkdir -p "$home/data" "$home/config" "$files"
    cp -a "$root/usr" "$prefix"
    desk=(env -i PATH="$prefix/bin:/usr/bin:/bin" LANG=C.UTF-8 HOME="$home" XDG_DATA_HOME="$home/data"
          XDG_CONFIG_HOME="$home/config" XDG_CONFIG_DIRS="$home/config"
          XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_CURRENT_DESKTOP=GNOME)
    for tool in update-mime-database update-desktop-database gio xdg-mime; do
        command -v "$tool" >/dev/null || fail "$tool is missing (tools/deps.sh installs it)"
    done
    "${desk[@]}" update-mime-database "$prefix/share/mime" >"$work/mime.log" 2>&1 \
        || { cat "$work/mime.log" >&2; fail "update-mime-database"; }
    "${desk[@]}" update-desktop-database "$prefix/share/applications" || fail "update-desktop-database"

    "$cli" create --version 2 "$files/ver2.img" && cp "$files/ver2.img" "$files/UPPER.IMG" \
        && cp "$files/ver2.img" "$files/no-extension" && cp "$work/a.img" "$files/filled.img" \
        && "$cli" create --version 1 "$files/ver1.img" && "$cli" add --quiet "$files/ver1.img" "$work/one.txt" \
        || fail "installed ostrevale-cli could not make the archives for the file type check"
    head -c 65536 /dev/zero >"$files/disk.img"
    printf 'VER2 of the notes\n' >"$files/notes.txt"
    content_type() { "${desk[@]}" gio info "$1" 2>/dev/null | sed -n 's/^  standard::content-type: //p'; }
    for f in ver2.img UPPER.IMG no-extension filled.img ver1.img disk.img notes.txt; do
        case $f in ver1.img|disk.img|notes.txt) want=other ;; *) want=$type ;; esac
        for got in "$(content_type "$files/$f")" \
                   "$("${desk[@]}" xdg-mime query filetype "$files/$f" 2>/dev/null)"; do
            if [ "$want" = "$type" ]; then
                [ "$got" = "$type" ] || fail "$f is '$got', not $type"
            else
                [ -n "$got" ] && [ "$got" != "$type" ] || fail "$f is '$got', it should not be $type"
            fi
        done
    done
    [ "$("${desk[@]}" xdg-mime query default "$type")" = "$entry" ] \
        || fail "xdg-mime query default $type is not $entry"
    "${desk[@]}" gio mime "$type" >"$work/gio-mime" 2>&1
    grep -qxF $'\t'"$entry" "$work/gio-mime" || { cat "$work/gio-mime" >&2; fail "gio mime $type lists no $entry"; }
fi

if command -v man >/dev/null; then
    for page in "$root"/usr/share/man/man1/*.1.gz; do
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$(basename "$page" .gz): $warnings"
    done
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures problem(s) with the installed files" >&2
    exit 1
fi
echo "installed and checked: ${#expected[@]} files"
