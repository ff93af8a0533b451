#!/usr/bin/env bash
# cmake/BuildId.cmake: the commit of a git work tree, "-dirty" for changed
# tracked files, "unknown" outside git, and an unchanged file (so nothing
# rebuilds) when it runs again on the same tree.
set -euo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$work/build_id.cpp

run() { cmake -DSOURCE_DIR="$1" -DOUTPUT="$out" -DVERSION=1.2.3.4 -P "$script"; }
commit_in() { sed -n 's/.*BuildCommit() { return "\(.*\)"; }/\1/p' "$out"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir "$work/plain"
run "$work/plain"
[[ $(commit_in) == unknown ]] || fail "outside git: $(commit_in)"
grep -q 'BuildVersion() { return "1.2.3.4"; }' "$out" || fail "version missing"

tree=$work/tree
mkdir "$tree"
git -C "$tree" init -q
echo one >"$tree/file"
git -C "$tree" add file
git -C "$tree" -c user.name=t -c user.email=t@t commit -qm one
head=$(git -C "$tree" rev-parse --short=12 HEAD)
run "$tree"
[[ $(commit_in) == "$head" ]] || fail "clean tree: $(commit_in), not $head"

touch -d 2001-01-01 "$out" # a rewrite would show in the modification time
run "$tree"
[[ $(stat -c %Y "$out") == $(date -d 2001-01-01 +%s) ]] || fail "rewritten though nothing changed"

# A folder inside the work tree is not the tree's top: its commit is not ours.
mkdir "$tree/sub"
run "$tree/sub"
[[ $(commit_in) == unknown ]] || fail "subfolder of another tree: $(commit_in)"

echo two >"$tree/file"
run "$tree"
[[ $(commit_in) == "$head-dirty" ]] || fail "changed tree: $(commit_in)"
echo "build id: 5 passed, 0 failed"
