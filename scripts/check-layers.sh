#!/usr/bin/env bash
# The library's components and the dependencies allowed between them, checked against the
# #include lines of every source and header of the library (src/, include/zo/).
#
# Each component lists its files; each file belongs to exactly one component, and a new
# file fails the check until it is given one. A component may include its own files and
# those of the components named on its line in the table of uses, which may only name
# components defined above it: the graph is acyclic by construction. The one cycle kept is
# named in the exceptions, edge by edge, with its reason. docs/ARCHITECTURE.md draws the
# same graph.
set -euo pipefail
cd "$(dirname "$0")/.."

# component   files (globs from the repository root)
components='
base          include/zo/zoexport.h include/zo/zostatus.h include/zo/messages.h
platform      src/platform/*
core          include/zo/ramalloc.h include/zo/zoobject.h include/zo/zocritse.h include/zo/pertask.h
              src/frame/ramalloc.cpp src/frame/ramfree.cpp src/frame/ramresiz.cpp src/frame/zoobject.cpp
              src/frame/zocritse.cpp src/frame/pertask.cpp src/frame/perthred.cpp src/frame/libstate.h
              src/text/memcopy.cpp
bytes         include/zo/strfuncs.h src/text/textstep.h src/text/strcomp.cpp src/text/compare.cpp
              src/text/strcopy.cpp src/text/strfind.cpp src/text/strtrim.cpp src/text/fastut.cpp
              src/text/strlike.cpp
charsets      include/zo/cvwchar.h src/text/cvwchar.cpp src/text/cvwcs.cpp src/text/cvlimits.h
arrays        include/zo/zoarray.h include/zo/zolist.h include/zo/zosorted.h
              src/containers/zoarray.cpp src/containers/zolist.cpp src/containers/zosorted.cpp
strings       include/zo/zostring.h include/zo/zoparams.h src/text/zostring.cpp src/text/zosubstr.cpp
              src/text/zostrlin.cpp src/text/zostrquo.cpp src/text/zostrimp.h src/text/zostrimp.cpp
              src/text/zoparams.cpp include/zo/zorepstr.h src/text/zorepstr.cpp
errors        include/zo/zoerror.h src/frame/zoerror.cpp src/frame/err.cpp src/frame/err.h src/frame/errstate.h
dictionaries  include/zo/zoset.h include/zo/zodictio.h include/zo/zoseqdic.h
              src/containers/zoset.cpp src/containers/zodictio.cpp src/containers/zoseqdic.cpp
numbers       include/zo/convert.h src/text/convert.cpp src/text/hexify.cpp src/text/crypt.cpp
os            include/zo/bosfile.h include/zo/bospath.h include/zo/bosenv.h include/zo/zotime.h
              include/zo/cntdblib.h include/zo/zofileby.h include/zo/zosemaph.h include/zo/zothread.h
              include/zo/calmaper.h include/zo/registry.h include/zo/zoini.h src/os/*
storage       include/zo/zotmpfil.h include/zo/zotree.h include/zo/zoptree.h include/zo/zoshrfil.h include/zo/zovm.h
              src/containers/zotmpfil.cpp src/containers/zotree.cpp src/containers/zoptree.cpp
              src/containers/zoshrfil.cpp src/containers/zovm.cpp src/containers/zovmint.h
sort          include/zo/sort.h src/containers/sort.cpp src/containers/sortcore.cpp src/containers/sortmerg.cpp
              src/containers/sortint.h
parse         include/zo/zoscanne.h include/zo/zolexer.h include/zo/zoreduct.h include/zo/zoparse.h
              include/zo/zovaluep.h include/zo/buttoken.h src/parse/*
queryfile     include/zo/zoqueryf.h src/queryfile/*
startup       src/frame/libmain.cpp
umbrella      include/zo/zo.h
'

# component   the components it may include
uses='
platform      base
core          base platform
bytes         base platform core
charsets      base platform core
arrays        base core
strings       base platform core bytes arrays
errors        base platform core arrays strings
dictionaries  base core bytes arrays strings
numbers       base platform core strings errors
os            base platform core arrays strings errors numbers
storage       base core arrays strings errors os
sort          base core bytes arrays errors os
parse         base platform core bytes arrays strings errors dictionaries
queryfile     base core bytes arrays strings errors numbers os storage sort parse
startup       base platform core errors os
umbrella      base core bytes charsets arrays strings errors dictionaries numbers os storage sort parse queryfile
'

# The named cycle, edge by edge: including file, included file, reason.
exceptions='
src/text/zostring.cpp  src/frame/err.h  a string that may not grow its borrowed buffer records that in the error list, whose messages are parameterised strings
'

fail=0
complain() { echo "layers: $*" >&2; fail=1; }

# file -> component, from the table; the continuation lines of an entry start with blanks.
declare -A owner rank
count=0
current=''
while IFS= read -r line; do
  [[ -z "${line// }" ]] && continue
  if [[ $line != ' '* ]]; then
    read -r current rest <<<"$line"
    rank[$current]=$((count++))
  else
    rest=$line
  fi
  for pattern in $rest; do
    matched=0
    for file in $pattern; do
      [[ -e $file || $file == include/zo/messages.h ]] || continue
      matched=1
      [[ -n ${owner[$file]:-} ]] && complain "$file is in both ${owner[$file]} and $current"
      owner[$file]=$current
    done
    [[ $matched == 1 ]] || complain "no file matches $pattern ($current)"
  done
done <<<"$components"

# component -> allowed components; each may only name components defined above it.
declare -A allowed
while read -r component deps; do
  [[ -z $component ]] && continue
  [[ -n ${rank[$component]:-} ]] || complain "$component has uses but is no component"
  for dep in $deps; do
    [[ -n ${rank[$dep]:-} && ${rank[$dep]} -lt ${rank[$component]:-0} ]] ||
      complain "$component uses $dep, which is not a component defined above it"
  done
  allowed[$component]=" $deps "
done <<<"$uses"

declare -A excepted
while read -r from to reason; do
  [[ -n $from ]] && excepted["$from $to"]=1
done <<<"$exceptions"

# Every file of the library belongs to a component.
while IFS= read -r file; do
  [[ -n ${owner[$file]:-} ]] || complain "$file belongs to no component: add it to scripts/check-layers.sh"
done < <(find src include/zo -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

# An included file of the library: <zo/x.h> is include/zo/x.h, "a/b.h" is src/a/b.h.
target_of() {
  local spec=$1
  case $spec in
    '<zo/'*) spec=${spec#<}; echo "include/${spec%>}" ;;
    '"'*) spec=${spec#\"}; echo "src/${spec%\"}" ;;
  esac
}

for file in "${!owner[@]}"; do
  [[ -f $file ]] || continue
  from=${owner[$file]}
  while read -r spec; do
    target=$(target_of "$spec")
    [[ -z $target ]] && continue
    to=${owner[$target]:-}
    if [[ -z $to ]]; then
      complain "$file includes $spec, which is no file of a component"
    elif [[ $to != "$from" && ${allowed[$from]} != *" $to "* && -z ${excepted["$file $target"]:-} ]]; then
      complain "$file ($from) includes $target ($to): $from may not use $to"
    fi
  done < <(sed -nE 's/^\s*#\s*include\s*(<zo\/[^>]*>|"[^"]*")/\1/p' "$file")
done

[[ $fail == 0 ]] && echo "layer check: every include follows the component graph"
exit $fail
