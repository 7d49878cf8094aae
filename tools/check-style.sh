#!/usr/bin/env bash
# Checks that the tracked files follow .clang-format and .editorconfig:
# sources formatted, no tabs in code, no trailing blanks, a final newline.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${sources[@]}" 2>/tmp/clang-format.$$; then
  head -n 40 /tmp/clang-format.$$
  echo "style: run clang-format -i on the files above"
  status=1
fi
rm -f /tmp/clang-format.$$

mapfile -t texts < <(git ls-files | grep -vE '\.(png|out|xpm)$|^fuzz/corpus/' || true)
for f in "${texts[@]}"; do
  [ -f "$f" ] || continue
  if [ -s "$f" ] && [ -n "$(tail -c 1 "$f")" ]; then echo "style: $f: no newline at the end"; status=1; fi
  case "$f" in
    *.md) ;;
    *) if grep -nE '[[:blank:]]+$' "$f" >/dev/null; then echo "style: $f: trailing blanks"; status=1; fi ;;
  esac
  case "$f" in
    *.cpp|*.h|*CMakeLists.txt|*.json|*.sh) if grep -nP '\t' "$f" >/dev/null; then echo "style: $f: tab"; status=1; fi ;;
  esac
done
[ $status -eq 0 ] && echo "style: all files follow .clang-format and .editorconfig"
exit $status
