#!/usr/bin/env bash
# The real program started with raised privilege, in an X server of its own: as nobody, a
# copy with the file capability in a folder only root can write pings 127.0.0.1 through its
# helper while the window's process holds no capability at all, so that an accessibility
# plugin beside it finds none to borrow; it loads no plugin from the folders planted through the
# environment, the command line or a qt.conf beside it, nor the input-context plugin beside
# it that QT_IM_MODULE names, nor a library planted for the GL and EGL loaders; the helper
# holds no capability and only its channel and socket, runs the helper program installed with
# the copy, without Qt's libraries, and gives code planted beside the
# program no descriptor and sends nothing but an echo request for it. The same file in a folder nobody owns, copied or hard-linked
# there, keeps no capability and starts no helper, and says so; a copy without the
# capability shows "Cannot allocate socket." in red and does load the planted plugins; plain
# root also keeps nothing but the helper, a fork of itself where the helper program lies in a
# folder another user owns. An installation into a prefix that root owns,
# started by nobody, ends without an error box and keeps its list in nobody's own folder.
# Usage: privileged_start.sh <vexlo> <accessibility spy plugin> <input-context spy plugin>
#   <build folder> <planted driver>; exit 77 (skipped) without root or tools.
set -u
skip() {
    echo "SKIPPED: $*"
    exit 77
}
[ "$(id -u)" = 0 ] || skip "needs root (setcap, and starting the program as nobody)"
for Tool in Xvfb xauth xdotool xdpyinfo setcap setpriv import python3; do
    command -v "$Tool" >/dev/null || skip "$Tool is missing (scripts/install-deps.sh)"
done
id nobody >/dev/null 2>&1 && getent group nogroup >/dev/null || skip "no user nobody/nogroup"
XcbPlugin=$(ls /usr/lib/*/qt6/plugins/platforms/libqxcb.so 2>/dev/null | head -n 1)
[ -n "$XcbPlugin" ] || skip "the Qt xcb platform plugin is missing"

WORK=$(mktemp -d /tmp/vexlo-privilege.XXXXXX)
STARTED=()
Failures=0
trap 'kill "${STARTED[@]}" 2>/dev/null; wait; rm -rf "$WORK"' EXIT
fail() {
    echo "FAILED: $*"
    Failures=$((Failures + 1))
}

# A real platform plugin in each planted folder, so that a start which honours one loads it
# and shows it in its memory map. Qt searches QT_PLUGIN_PATH before its own folder and a
# qt.conf's folder instead of it, but the platform plugin folder after it: the copy there
# answers to a name of its own, "xcq", tried before "xcb"; loaded, it declines that name.
chmod 755 "$WORK"
mkdir -p "$WORK"/{sys/bin/accessible,cap,link,plain,home,planted/env/platforms,planted/qpa,planted/conf/platforms}
cp "$2" "$WORK/sys/bin/accessible/"
# Where Qt looks whatever the start: the program's own folder.
ImSpy=platforminputcontexts/$(basename "$3")
mkdir -p "$WORK"/{sys/bin,cap,plain}/platforminputcontexts
cp "$3" "$WORK/sys/bin/$ImSpy"
cp "$3" "$WORK/cap/$ImSpy"
cp "$3" "$WORK/plain/$ImSpy"
# A library for the GL loader (as its software driver) and the EGL loader (as a vendor).
mkdir -p "$WORK/planted/dri"
cp "$5" "$WORK/planted/dri/swrast_dri.so"
printf '{"file_format_version": "1.0.0", "ICD": {"library_path": "%s"}}\n' \
    "$WORK/planted/dri/swrast_dri.so" >"$WORK/planted/egl.json"
cp "$XcbPlugin" "$WORK/planted/env/platforms/"
cp "$XcbPlugin" "$WORK/planted/conf/platforms/"
python3 - "$XcbPlugin" "$WORK/planted/qpa/libqxcb.so" <<'RENAME' || exit 1
import sys
Plugin = open(sys.argv[1], "rb").read()
Names = b"\x81\x63xcb"  # in the plugin's metadata: a list of one text of three bytes
if Plugin.count(Names) != 1:
    sys.exit("FAILED: cannot find the name in the xcb plugin's metadata")
open(sys.argv[2], "wb").write(Plugin.replace(Names, b"\x81\x63xcq"))
RENAME
printf '[Paths]\nPrefix=%s\nPlugins=%s\n' "$WORK/planted/conf" "$WORK/planted/conf" |
    tee "$WORK/sys/bin/qt.conf" "$WORK/cap/qt.conf" >"$WORK/plain/qt.conf"
# nobody owns every folder but sys/ and root/, and writes its host list beside the copies;
# in sys/bin the list itself is nobody's, written in place. The chown comes first, as it
# clears a file's capabilities.
chown -R nobody:nogroup "$WORK"/{cap,link,plain,home,planted}
install -m 755 "$1" "$WORK/sys/bin/vexlo"
install -m 755 "$1" "$WORK/cap/vexlo"
install -m 755 "$1" "$WORK/plain/vexlo"
printf '127.0.0.1=Localhost\r\n' >"$WORK/sys/bin/vexlo.txt"
chown nobody:nogroup "$WORK/sys/bin/vexlo.txt"
# Root without its capabilities may not write into nobody's folder: a folder of its own.
install -D -m 755 "$1" "$WORK/root/vexlo"
# The helper program as installed beside the capability copy, where only root can write; the
# one for root's copy lies in a folder nobody owns, so root runs a fork of itself instead.
RawHelper="$(dirname "$1")/../libexec/vexlo/vexlo-raw-helper"
install -D -m 755 "$RawHelper" "$WORK/sys/libexec/vexlo/vexlo-raw-helper"
install -D -m 755 "$RawHelper" "$WORK/libexec/vexlo/vexlo-raw-helper"
chown -R nobody:nogroup "$WORK/libexec"
# The permitted set alone, as the package gives it: the program raises it where needed.
setcap cap_net_raw+p "$WORK/sys/bin/vexlo" || skip "setcap failed (no file capabilities here?)"
setcap cap_net_raw+ep "$WORK/cap/vexlo"
ln "$WORK/sys/bin/vexlo" "$WORK/link/vexlo"

# A display number with neither a lock nor a socket is free, unless another server takes it
# first, which our cookie tells. Without -noreset the server refuses clients for a moment
# each time its last one leaves.
Cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
export XAUTHORITY=$WORK/Xauthority DISPLAY=
: >"$XAUTHORITY"
for Number in $(shuf -i 100-199 -n 20); do
    [ -e "/tmp/.X$Number-lock" ] || [ -e "/tmp/.X11-unix/X$Number" ] && continue
    xauth -q add ":$Number" . "$Cookie"
    Xvfb ":$Number" -auth "$XAUTHORITY" -nolisten tcp -noreset -screen 0 640x480x24 \
        2>"$WORK/xvfb.log" &
    STARTED+=($!)
    for _ in $(seq 50); do
        DISPLAY=:$Number xdpyinfo >/dev/null 2>&1 && DISPLAY=:$Number && break 2
        kill -0 "${STARTED[-1]}" 2>/dev/null || break
        sleep 0.1
    done
    kill "${STARTED[-1]}" 2>/dev/null
done
[ -n "$DISPLAY" ] || skip "no X server of our own started: $(cat "$WORK/xvfb.log")"
# Root, once it has given up its capabilities, reads the cookie through its group.
chown nobody:root "$XAUTHORITY"
chmod 640 "$XAUTHORITY"

caps_of() {
    awk '/^CapPrm|^CapEff/ { printf "%s%s ", $1, $2 }' "/proc/$1/status"
}
# Not ended, nor a zombie that only waits for its new parent to collect it.
running() {
    [ -n "$1" ] && awk '{ exit $3 == "Z" }' "/proc/$1/stat" 2>/dev/null
}
# Waits up to ten seconds for the program's window to show.
wait_for_window() {
    for _ in $(seq 100); do
        [ -n "$(xdotool search --onlyvisible --pid "$1" --name '^Vexlo$' 2>/dev/null)" ] && return
        sleep 0.1
    done
}
# The raw-socket helper of a program: its child named vexlo-raw.
helper_of() {
    local Child
    for Child in $(cat /proc/"$1"/task/*/children 2>/dev/null); do
        [ "$(cat "/proc/$Child/comm" 2>/dev/null)" = vexlo-raw ] && echo "$Child"
    done
}

# Waits up to five seconds for a colour in the status line's box (8..168, 42..54 in the
# window at 7, 7); prints how many pixels have it.
status_pixels() {
    local Count=0
    for _ in $(seq 50); do
        Count=$(import -window root -crop 161x13+15+49 -depth 8 txt:- 2>/dev/null | grep -ci "$1")
        [ "$Count" -gt 0 ] && break
        sleep 0.1
    done
    echo "$Count"
}

# Usage: check <label> <user> <binary> <helper caps> <colour> <planted: loaded|ignored|->
#   [VAR=value]...; the window's process must hold nothing, whichever the start.
# The program's command line is in Options; Said, when set, is a line it must print.
check() {
    local Label=$1 User=$2 Binary=$3 HelperCaps=$4 Colour=$5 Planted=$6 As=() Pid Helper
    local Caps="CapPrm:0000000000000000 CapEff:0000000000000000 "
    shift 6
    [ "$User" = root ] || As=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    : >"$WORK/vexlo.log"
    env -i DISPLAY="$DISPLAY" XAUTHORITY="$XAUTHORITY" HOME="$WORK/home" \
        QT_QPA_PLATFORM="xcq;xcb" "$@" "${As[@]}" "$Binary" "${Options[@]}" \
        >>"$WORK/vexlo.log" 2>&1 &
    Pid=$!
    STARTED+=("$Pid")
    wait_for_window "$Pid"
    if ! kill -0 "$Pid" 2>/dev/null || [ "$(caps_of "$Pid")" != "$Caps" ]; then
        fail "$Label: waiting for input, holds $(caps_of "$Pid" 2>&1), not $Caps;" \
            "log: $(cat "$WORK/vexlo.log")"
    fi
    Helper=$(helper_of "$Pid")
    if [ "$HelperCaps" = - ]; then
        [ -z "$Helper" ] || fail "$Label: started a helper ($Helper) without privilege"
    elif [ -z "$Helper" ] || [ "$(caps_of "$Helper")" != "$HelperCaps" ]; then
        fail "$Label: helper '${Helper}' holds $(caps_of "$Helper" 2>&1), not $HelperCaps"
    elif [ "$(ls "/proc/$Helper/fd" | wc -l)" != 3 ]; then
        fail "$Label: helper holds descriptors other than its channel and two sockets:" \
            "$(ls -l "/proc/$Helper/fd")"
    elif [ "$(readlink "/proc/$Helper/exe")" != "${HelperProgram:-$Binary}" ]; then
        fail "$Label: the helper runs $(readlink "/proc/$Helper/exe"), not ${HelperProgram:-$Binary}"
    elif [ -n "${HelperProgram:-}" ] && grep -q libQt6 "/proc/$Helper/maps"; then
        fail "$Label: the helper program has Qt's libraries in its memory"
    fi
    # Enter as a person presses it, to the window the program activated at start.
    xdotool keydown Return sleep 0.05 keyup Return
    local Seen
    Seen=$(status_pixels "$Colour")
    [ "$Seen" -gt 0 ] || fail "$Label: no $Colour in the status line after Enter"
    [ "$(caps_of "$Pid")" = "$Caps" ] || fail "$Label: after the ping, holds $(caps_of "$Pid")"
    local Maps
    Maps=$(cat "/proc/$Pid/maps")
    case $Planted in
    loaded) for Folder in planted/env/ planted/qpa/ "$ImSpy"; do
        grep -q "$WORK/.*$Folder" <<<"$Maps" ||
            fail "$Label: did not load the plugin in $Folder, which so proves nothing"
    done ;;
    ignored) ! grep -q "$WORK/planted\|$ImSpy" <<<"$Maps" ||
        fail "$Label: loaded $(grep -o "$WORK/[^ ]*" <<<"$Maps" | grep "planted\|$ImSpy" | sort -u)" ;;
    esac
    echo "$Label: window $(caps_of "$Pid")helper ${Helper:-none}" \
        "$([ -n "$Helper" ] && caps_of "$Helper")$Seen pixels of $Colour; planted plugins $Planted"
    # Esc ends the program, which writes its host list beside itself.
    xdotool keydown Escape sleep 0.05 keyup Escape
    timeout 5 tail --pid="$Pid" -f /dev/null || fail "$Label: Esc did not end the program"
    for _ in $(seq 50); do
        running "$Helper" || break
        sleep 0.1
    done
    ! running "$Helper" || fail "$Label: the helper outlived the program"
    [ -s "${Binary%/*}/vexlo.txt" ] || fail "$Label: wrote no host list beside itself"
    : >"${Binary%/*}/vexlo.txt"
    if [ -n "${Said:-}" ]; then
        grep -qxF "$Said" "$WORK/vexlo.log" || fail "$Label: did not say '$Said'; log: $(cat "$WORK/vexlo.log")"
    elif grep -q "capability dropped" "$WORK/vexlo.log"; then
        fail "$Label: $(cat "$WORK/vexlo.log")"
    fi
}

Planted=(QT_PLUGIN_PATH="$WORK/planted/env" QT_QPA_PLATFORM_PLUGIN_PATH="$WORK/planted/qpa"
    QT_IM_MODULE=vexlospy)
Options=(-platformpluginpath "$WORK/planted/qpa")
# The helper keeps its raw socket and no capability at all.
Nothing="CapPrm:0000000000000000 CapEff:0000000000000000 "
# Every ICMP message on loopback while the capability copy runs: nothing but echo requests
# and replies, and none from a source the kernel did not choose.
python3 - "$WORK/sniffed" <<'SNIFF' &
import socket, sys, time
Sock = socket.socket(socket.AF_PACKET, socket.SOCK_DGRAM, socket.htons(0x0800))
Sock.bind(("lo", 0))
Sock.settimeout(0.2)
Seen = open(sys.argv[1], "w")
End = time.monotonic() + 30
while time.monotonic() < End:
    try:
        Packet = Sock.recv(4096)
    except socket.timeout:
        continue
    if len(Packet) >= 21 and Packet[9] == 1:
        Ihl = (Packet[0] & 15) * 4
        Seen.write("type %d from %s\n" % (Packet[Ihl], socket.inet_ntoa(Packet[12:16])))
        Seen.flush()
SNIFF
Sniffer=$!
STARTED+=("$Sniffer")
sleep 0.5
HelperProgram="$WORK/sys/libexec/vexlo/vexlo-raw-helper"
check "root-owned capability copy as nobody" nobody "$WORK/sys/bin/vexlo" "$Nothing" "#008000" \
    ignored "${Planted[@]}"
HelperProgram=
# The plugin beside the copy is loaded (or the check proves nothing) and found nothing: no
# capability, no descriptor from the helper, and no timestamp request sent for it.
Spy=$(grep '^planted plugin:' "$WORK/vexlo.log")
echo "${Spy:-planted plugin: nothing, it was not loaded}"
[ -n "$Spy" ] || fail "the planted accessibility plugin was not loaded, which so proves nothing"
if [ "$Spy" != "planted plugin: CapPrm:0000000000000000 CapEff:0000000000000000 raise:refused packet:refused descriptor:malformed non-echo:refused" ]; then
    fail "the planted accessibility plugin borrowed privilege: $Spy"
fi
kill "$Sniffer" 2>/dev/null
wait "$Sniffer" 2>/dev/null
echo "ICMP on loopback meanwhile: $(sort "$WORK/sniffed" | uniq -c | tr -s ' \n' ' ')"
grep -q 'type 8 from 127.0.0.1' "$WORK/sniffed" || fail "the sniffer saw no echo request"
! grep -qv '^type [08] from 127.0.0.1$' "$WORK/sniffed" ||
    fail "more than echoes left the helper: $(grep -v '^type [08] from 127.0.0.1$' "$WORK/sniffed")"
# Without the capability it pings through a datagram socket where this namespace admits
# nobody's group to them, and shows "Cannot allocate socket." in red where it does not.
read -r Low High </proc/sys/net/ipv4/ping_group_range
Unprivileged="#FF0000"
[ "$Low" -le 65534 ] && [ 65534 -le "$High" ] && Unprivileged="#008000"
# The same capability beside code nobody could have planted: kept by nothing, and said.
Dropped="so code could be planted beside the program (install it where only root can write)"
Said="vexlo: raw-socket capability dropped: $WORK/cap belongs to user 65534, not root, $Dropped"
check "capability copy in nobody's folder" nobody "$WORK/cap/vexlo" - "$Unprivileged" ignored \
    "${Planted[@]}"
Said="vexlo: raw-socket capability dropped: $WORK/link belongs to user 65534, not root, $Dropped"
check "hard link in nobody's folder" nobody "$WORK/link/vexlo" - "$Unprivileged" ignored \
    "${Planted[@]}"
Said=
check "plain copy as nobody" nobody "$WORK/plain/vexlo" - "$Unprivileged" loaded "${Planted[@]}"
Options=()
check "plain copy as root" root "$WORK/root/vexlo" "$Nothing" "#008000" -

# The routes by which the GL and EGL loaders took a user's library into the window's process.
# A plain copy shows that each route loads it; the capability copy must not.
planted_route() {
    local Binary=$1 Pid Seen=ignored Shown=0
    shift
    : >"$WORK/route.log"
    env -i DISPLAY="$DISPLAY" XAUTHORITY="$XAUTHORITY" HOME="$WORK/home" "$@" \
        setpriv --reuid=nobody --regid=nogroup --clear-groups "$Binary" >"$WORK/route.log" 2>&1 &
    Pid=$!
    STARTED+=("$Pid")
    # Until the library shows in the map, the process ends, or its window has shown for a second.
    for _ in $(seq 50); do
        grep -q "$WORK/planted/dri" "/proc/$Pid/maps" 2>/dev/null && Seen=loaded && break
        kill -0 "$Pid" 2>/dev/null || break
        [ -n "$(xdotool search --onlyvisible --pid "$Pid" --name '^Vexlo$' 2>/dev/null)" ] &&
            Shown=$((Shown + 1))
        [ "$Shown" -lt 10 ] || break
        sleep 0.1
    done
    grep -q '^planted driver: loaded' "$WORK/route.log" && Seen=loaded
    kill "$Pid" 2>/dev/null
    wait "$Pid" 2>/dev/null
    echo "$Seen"
}
Dri="LIBGL_DRIVERS_PATH=$WORK/planted/dri"
Egl="__EGL_VENDOR_LIBRARY_FILENAMES=$WORK/planted/egl.json"
for Route in "QT_WIDGETS_RHI=1 $Dri" "QT_WIDGETS_RHI=1 LIBGL_DRIVERS_DIR=$WORK/planted/dri" \
    "QT_WIDGETS_RHI=1 QT_XCB_GL_INTEGRATION=xcb_egl $Egl" \
    "QT_WIDGETS_RHI=1 QT_XCB_GL_INTEGRATION=xcb_egl __EGL_VENDOR_LIBRARY_DIRS=$WORK/planted" \
    "QT_QPA_PLATFORM=minimalegl $Egl" "QT_QPA_PLATFORM=minimalegl $Dri"; do
    read -r -a Vars <<<"$Route"
    Plain=$(planted_route "$WORK/plain/vexlo" "${Vars[@]}")
    Raised=$(planted_route "$WORK/sys/bin/vexlo" "${Vars[@]}")
    echo "planted route ${Route//$WORK/<work>}: plain copy $Plain, capability copy $Raised"
    [ "$Raised" = ignored ] || fail "the capability copy loaded the library planted by $Route"
    grep -q 'GOT-DESCRIPTOR\|non-echo:error' "$WORK/route.log" &&
        fail "the planted library got more than a refusal: $(cat "$WORK/route.log")"
done

# An installation into a prefix only root can write, started by nobody: the host list cannot
# live beside the program, so the window keeps it in nobody's own configuration folder,
# starting from the administrator's list beside the program, and ends without an error box.
installed_start() {
    local Prefix=$WORK/prefix Pid
    cmake --install "$1" --prefix "$Prefix" >/dev/null || {
        fail "cannot install into $Prefix"
        return
    }
    if ! "$Prefix/bin/vexlo" --help | grep -q 'config/vexlo'; then
        echo "installed start: not checked: this program keeps its host list only beside itself"
        return
    fi
    printf '127.0.0.2=Administrator\r\n' >"$Prefix/bin/vexlo.txt"
    setcap cap_net_raw+p "$Prefix/bin/vexlo"
    env -i DISPLAY="$DISPLAY" XAUTHORITY="$XAUTHORITY" HOME="$WORK/home" \
        setpriv --reuid=nobody --regid=nogroup --clear-groups "$Prefix/bin/vexlo" \
        >"$WORK/vexlo.log" 2>&1 &
    Pid=$!
    STARTED+=("$Pid")
    wait_for_window "$Pid"
    local Helper
    Helper=$(helper_of "$Pid")
    echo "installed start: window $(caps_of "$Pid")helper ${Helper:-none}" \
        "$([ -n "$Helper" ] && caps_of "$Helper")$([ -n "$Helper" ] && readlink "/proc/$Helper/exe")"
    [ -n "$Helper" ] || fail "installed start: no helper in a prefix only root can write"
    [ -z "$Helper" ] || [ "$(readlink "/proc/$Helper/exe")" = "$Prefix/libexec/vexlo/vexlo-raw-helper" ] ||
        fail "installed start: the helper runs $(readlink "/proc/$Helper/exe"), not the installed helper program"
    xdotool keydown Escape sleep 0.05 keyup Escape
    timeout 5 tail --pid="$Pid" -f /dev/null ||
        fail "installed start: Esc did not end the program (an error box?): $(cat "$WORK/vexlo.log")"
    ! grep -q '^vexlo:' "$WORK/vexlo.log" || fail "installed start: said $(cat "$WORK/vexlo.log")"
    grep -q '^127.0.0.2=Administrator' "$WORK/home/.config/vexlo/vexlo.txt" 2>/dev/null ||
        fail "installed start: no list in nobody's configuration folder started from the administrator's"
    echo "installed start: ended on Esc; nobody's list: $(tr -d '\r' <"$WORK/home/.config/vexlo/vexlo.txt" 2>&1)"
}
installed_start "$4"
[ "$Failures" = 0 ] && echo "all checks passed"
