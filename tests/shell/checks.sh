# Sourced by the shell tests: one line per check, "ok - NAME" or
# "FAILED - NAME" with the details indented below, counted in $passed and
# $failed; and crlf FILE, the file with each line feed made CR LF.
passed=0
failed=0
check() {  # check NAME STATUS [DETAILS...]: STATUS 0 passes
  local name=$1 status=$2
  shift 2
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    echo "ok - $name"
  else
    failed=$((failed + 1))
    echo "FAILED - $name"
    for detail in "$@"; do echo "    $detail"; done
  fi
}
crlf() { perl -pe 's/\n/\r\n/g' "$1"; }
