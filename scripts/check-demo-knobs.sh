#!/usr/bin/env bash
# The demo's knobs, three times over: each KOVRA_DEMO_* variable that the
# demo reads (a string literal in app/demo/*.cpp) has its row in the demo
# table of docs/demo.md and its entry in the list at the top of
# app/demo/DemoEquipment.h, and each row and entry names a variable that the
# demo reads.
set -euo pipefail
cd "$(dirname "$0")/.."

knobs() { grep -o 'KOVRA_DEMO_[A-Z0-9_]*' | sort -u; }

read_by_demo=$(cat app/demo/*.cpp | grep -o '"KOVRA_DEMO_[A-Z0-9_]*"' | knobs)
# The first cell of each row of the table under "## The demo build".
table_rows=$(awk '/^## /{table = ($0 == "## The demo build")} table' docs/demo.md |
    grep -E '^\| *`KOVRA_DEMO_' | cut -d'|' -f2 | knobs)
# The names that begin an entry of the header's list.
header_list=$(grep -E '^//   KOVRA_DEMO_' app/demo/DemoEquipment.h |
    sed -E 's|^//   ((KOVRA_DEMO_[A-Z0-9_]+(, )?)+).*|\1|' | knobs)

status=0
# compare WHAT NAMES: reports what the demo reads and NAMES lack, and back.
compare() {
    local missing extra
    missing=$(comm -23 <(echo "$read_by_demo") <(echo "$2"))
    extra=$(comm -13 <(echo "$read_by_demo") <(echo "$2"))
    for knob in $missing; do
        echo "$knob: read by the demo, but not in $1"
        status=1
    done
    for knob in $extra; do
        echo "$knob: in $1, but the demo does not read it"
        status=1
    done
}
compare "the demo table of docs/demo.md" "$table_rows"
compare "the list in app/demo/DemoEquipment.h" "$header_list"
exit $status
