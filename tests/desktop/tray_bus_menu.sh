#!/usr/bin/env bash
# The tray menu exported on the session bus, as a StatusNotifierItem host (KDE, Ubuntu) reads it:
# its first items, names with "&" as written, and a category of 2,000 webcams whose sub-menu holds
# no more entries than the screen has lines, the rest in "More".
source "$(dirname "$0")/dbusmenu.bash"
source "$(dirname "$0")/common.bash"

start_watcher
start_x
write_status_options
cams=$(for i in $(seq 2000); do printf '<Cam Name="Cam %d" Url="http://127.0.0.1:9/%d.jpg"/>' "$i" "$i"; done)
sed -i "s|<Category Name=\"\"/>|<Category Name=\"\"><Categories><Category Name=\"Travel \&amp; Tours\"><Cams>$cams</Cams></Category></Categories></Category>|" "$OPTIONS"
start_pictavo
wait_for 10 eval '[ "$(wc -l <"$WORK/watcher.out")" -ge 2 ]' || fail "no item registered on the bus"
read -r service path < <(sed -n 2p "$WORK/watcher.out")
note "item $service $path"
sni_menu_path || fail "the item exports no menu"

children 0 >"$WORK/top.txt" || fail "the menu could not be read: $(cat "$WORK/layout.txt" 2>&1)"
cat "$WORK/top.txt"
# dbusmenu marks the access key with "_" (Qt turns the first "&" into it): the doubled "&" of
# the name is one "&" there, shown as written.
first=$(cut -f2 "$WORK/top.txt" | grep -v '^-$' | head -n3 | paste -sd '|')
[ "$first" = "_Close this menu|Last viewed|Travel _& Tours" ] || fail "first items: $first"
category=$(awk -F'\t' '$2 == "Travel _& Tours" {print $1}' "$WORK/top.txt")
children "$category" >"$WORK/category.txt"
count=$(wc -l <"$WORK/category.txt")
last=$(tail -n1 "$WORK/category.txt" | cut -f2)
note "the category shows $count entries, the last \"$last\""
[ "$count" -ge 10 ] && [ "$count" -le 40 ] || fail "the category sub-menu holds $count entries on a 768-line screen"
[ "$last" = "More" ] || fail "the category's last entry is \"$last\", not More"
head -n1 "$WORK/category.txt" | grep -q $'\tCam 1$' || fail "the category does not start with Cam 1"
echo PASS
