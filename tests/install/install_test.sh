#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there with
# the desktop's own validators. A validator that is not installed is skipped
# with a notice (scripts/deps.sh installs them).
# Usage: install_test.sh BUILD_DIR WITH_GUI(ON|OFF) WITH_PNG_ICONS(ON|OFF)
set -uo pipefail
build=$1 gui=$2 pngs=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
need() { [ -e "$prefix/$1" ] || fail "missing $1"; }
have() { command -v "$1" >/dev/null 2>&1 || { echo "NOTICE: $1 not installed, its check is skipped"; return 1; }; }

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }

app=io.github.corvane.Corvane
need bin/corvane-cli
[ "$gui" = ON ] && need bin/corvane
[ -e "$prefix/bin/corvane-render" ] && fail "corvane-render is a build tool, not installed"
need share/applications/$app.desktop
need share/metainfo/$app.metainfo.xml
need share/icons/hicolor/scalable/apps/$app.svg
if [ "$pngs" = ON ]; then
  for size in 16 32 48 64 128 256; do need share/icons/hicolor/${size}x${size}/apps/$app.png; done
fi
need share/man/man1/corvane.1
need share/man/man1/corvane-cli.1
need share/bash-completion/completions/corvane-cli

if have desktop-file-validate; then
  desktop-file-validate "$prefix/share/applications/$app.desktop" || fail "desktop-file-validate"
fi
if have appstreamcli; then
  appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate: $(appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml")"
fi
if have groff; then
  for page in corvane.1 corvane-cli.1; do
    out=$(groff -man -ww -z "$prefix/share/man/man1/$page" 2>&1)
    [ -z "$out" ] || fail "groff warnings in $page: $out"
  done
fi
bash -n "$prefix/share/bash-completion/completions/corvane-cli" || fail "completion script syntax"
# The completion answers as bash would ask it.
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _corvane_cli;
           echo "${COMPREPLY[*]}"' _ "$prefix/share/bash-completion/completions/corvane-cli" "$@"
}
[ "$(complete_words corvane-cli matches --format "")" = "tsv csv json" ] || fail "completion of --format"
[ "$(complete_words corvane-cli --data /tmp ma)" = "match-single matches" ] || fail "completion of commands"

cli="$prefix/bin/corvane-cli"
"$cli" --version | grep -q "^corvane-cli [0-9]" || fail "--version"
# Every command of --help is completed and has a man page entry.
commands=$("$cli" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$commands" ] || fail "no commands in --help"
for command in $commands; do
  grep -qw -- "$command" "$prefix/share/bash-completion/completions/corvane-cli" ||
    fail "completion lacks $command"
  grep -q -- "^\.B $(echo "$command" | sed 's/-/\\\\-/g')" "$prefix/share/man/man1/corvane-cli.1" ||
    fail "man page lacks $command"
done
# An installed copy keeps its files in the user data folder, even where its
# own folder could be written.
home="$prefix/home"
mkdir -p "$home"
where=$(env -u CORVANE_DATA -u XDG_DATA_HOME HOME="$home" "$cli" where)
[ "$where" = "$home/.local/share/corvane/" ] || fail "installed copy uses $where"
[ -d "$home/.local/share/corvane" ] || fail "user data folder not created"

[ $failures -eq 0 ] && echo "install into a temporary prefix: all checks passed"
exit $((failures > 0))
