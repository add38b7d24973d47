#!/usr/bin/env bash
# Regenerates the tool bar images (32 x 32 PNG) from the Adwaita symbolic icon theme
# (Debian package adwaita-icon-theme; GNOME Project, CC-BY-SA-3.0 or LGPL-3), recoloured so that
# they read well on the windows' orange background. The PNGs are committed; run this only to
# change them.
set -euo pipefail
cd "$(dirname "$0")"
src=/usr/share/icons/Adwaita/scalable
normal='#1d2b4a'   # dark blue: every image
editing='#b3130f'  # red: tbtEdit while a record is being edited
online='#0e6b1f'   # green: tbtConnect while connected
make() {  # make NAME COLOUR SOURCE.svg
  local tmp
  tmp=$(mktemp --suffix=.svg)
  sed -e "s/#2e3436/$2/g" -e "s/#222222/$2/g" -e "s/#474747/$2/g" "$src/$3" >"$tmp"
  rsvg-convert -w 32 -h 32 -o "$1.png" "$tmp"   # Debian package librsvg2-bin
  rm -f "$tmp"
}
make open      "$normal"  actions/document-open-symbolic.svg
make save      "$normal"  actions/document-save-symbolic.svg
make upload    "$normal"  actions/document-send-symbolic.svg
make delete    "$normal"  actions/edit-delete-symbolic.svg
make new       "$normal"  actions/list-add-symbolic.svg
make edit      "$normal"  actions/document-edit-symbolic.svg
make editing   "$editing" actions/document-edit-symbolic.svg
make search    "$normal"  actions/edit-find-symbolic.svg
make print     "$normal"  actions/document-print-symbolic.svg
make offline   "$normal"  status/network-offline-symbolic.svg
make online    "$online"  status/network-transmit-receive-symbolic.svg
make prefs     "$normal"  places/network-server-symbolic.svg
make help      "$normal"  legacy/help-browser-symbolic.svg
make wizard    "$normal"  emblems/emblem-synchronizing-symbolic.svg
make database  "$normal"  devices/drive-multidisk-symbolic.svg
