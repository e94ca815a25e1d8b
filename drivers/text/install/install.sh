#!/usr/bin/env bash
# Registers the text driver (ZoText) with unixODBC's driver manager, and a demo data source
# (ZoTextDemo) over the sample tables in drivers/text/sample.
#
#   install.sh [--driver PATH] [--dir DIR] [--system] [--dsn NAME] [--data DIR]
#
#   --driver PATH  libzotext.so (default: the release build's, else the installed one)
#   --dir DIR      private registration: the driver manager's files go into DIR
#                  (default: ${XDG_CONFIG_HOME:-$HOME/.config}/zotext); use them with
#                  ODBCSYSINI=DIR ODBCINI=DIR/odbc.ini
#   --system       register in the system's files instead (/etc/odbcinst.ini, /etc/odbc.ini;
#                  needs root)
#   --dsn NAME     the demo data source's name (default ZoTextDemo)
#   --data DIR     its directory of tables (default: drivers/text/sample)
#
# Registering again replaces the earlier registration. Uses odbcinst (Debian: odbcinst).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
driver=""
dir="${XDG_CONFIG_HOME:-$HOME/.config}/zotext"
system=0
dsn=ZoTextDemo
data="$root/drivers/text/sample"

while [[ $# -gt 0 ]]; do
  case "$1" in
    --driver) driver=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --system) system=1; shift ;;
    --dsn) dsn=$2; shift 2 ;;
    --data) data=$2; shift 2 ;;
    -h | --help) sed -n '2,17p' "$0"; exit 0 ;;
    *) echo "install.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done

if [[ -z "$driver" ]]; then
  for candidate in "$root/build/release/drivers/text/odbc/libzotext.so" /usr/local/lib/libzotext.so /usr/lib/libzotext.so; do
    if [[ -f "$candidate" ]]; then driver=$candidate; break; fi
  done
fi
if [[ -z "$driver" || ! -f "$driver" ]]; then
  echo "install.sh: libzotext.so not found; build it (cmake --build build/release --target zotext) or give --driver" >&2
  exit 1
fi
command -v odbcinst >/dev/null || { echo "install.sh: odbcinst is missing (apt-get install odbcinst)" >&2; exit 1; }
driver=$(cd "$(dirname "$driver")" && pwd)/$(basename "$driver")
data=$(cd "$data" && pwd)

if [[ $system -eq 1 ]]; then
  unset ODBCSYSINI ODBCINI
  where="the system's files"
else
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini
  touch "$dir/odbcinst.ini" "$dir/odbc.ini"
  where=$dir
fi

# Earlier registrations go first, so that running again leaves one of each.
odbcinst -u -d -n ZoText >/dev/null 2>&1 || true
odbcinst -u -s -l -n "$dsn" >/dev/null 2>&1 || true

odbcinst -i -d -r >/dev/null <<EOF
[ZoText]
Description = zo text driver: SQL over directories of delimited text files
Driver = $driver
EOF

odbcinst -i -s -l -r >/dev/null <<EOF
[$dsn]
Description = Sample tables of the zo text driver
Driver = ZoText
DBQ = $data
Delimiter = ,
Header = 1
Charset = UTF-8
EOF

echo "Registered the driver ZoText ($driver) and the data source $dsn ($data) in $where."
if [[ $system -eq 0 ]]; then
  echo "Use them with:"
  echo "  export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini"
fi
echo "  isql -b $dsn < $root/drivers/text/sample/demo.sql"
