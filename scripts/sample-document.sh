#!/bin/sh
# Writes a small sample schedule: sample-document.sh BUILD_DIR FILE
set -eu
ctl="$1/bin/vantrelctl"
file="$2"
"$ctl" new --force "$file" >/dev/null 2>&1 || "$ctl" new "$file" >/dev/null
set_cell() { "$ctl" set "$file" "$1" "$2" "$3" >/dev/null; }
add_event() { "$ctl" type "$file" "$1" new "$2" >/dev/null 2>&1; }
set_cell 0 N "Porch light"; set_cell 0 C B; set_cell 0 "#" 3; set_cell 0 T Light
add_event 0 "Turn On @ Sunset+00:15 On Every Day"
add_event 0 "Turn Off @ 11:30 PM On Every Day"
"$ctl" add-module "$file" >/dev/null
set_cell 1 N "Coffee maker"; set_cell 1 C B; set_cell 1 "#" 7
add_event 1 "Turn On @ 6:45 AM On .MTWTF."
add_event 1 "Turn Off @ 8:00 AM On .MTWTF."
"$ctl" add-module "$file" >/dev/null
set_cell 2 N "Living room lamps"; set_cell 2 C A; set_cell 2 "#" "All Lights"
add_event 2 "Turn On @ Sunset-00:30 (Security) On S.....S"
"$ctl" add-module "$file" >/dev/null
set_cell 3 N "Garden sprinkler"; set_cell 3 C D; set_cell 3 "#" 12
add_event 3 "Turn On @ 5:30 AM On Even Days"
add_event 3 "Turn On @ 7:00 PM On 7/4/2027 & Every 3 Days"
"$ctl" add-module "$file" >/dev/null
set_cell 4 N "Everything off"; set_cell 4 C A; set_cell 4 "#" "All Modules"
add_event 4 "Turn Off @ 1:00 AM On Every Day"
