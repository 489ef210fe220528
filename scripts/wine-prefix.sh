# Sourced by the scripts that run the Windows program under Wine, inside the
# namespace of scripts/no-serial-devices.sh.
#
# start_wine PREFIX: uses (and makes, when it is new) the Wine prefix PREFIX,
# without Mono or Gecko installers, and starts one server for it for the whole
# run instead of one per program start. The caller stops it with
# `wineserver --kill` when it is done.
start_wine() {
    WINEPREFIX=$1
    WINEDEBUG=-all
    WINEDLLOVERRIDES="mscoree=;mshtml="
    export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
    # A server of this prefix left from an earlier run outside the namespace
    # would start Wine's services, and its device detection, out there.
    wineserver --kill >/dev/null 2>&1 || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        # Without 32-bit Wine the first start reports a missing 32-bit helper
        # and fails; the 64-bit prefix is complete all the same.
        wineboot --init >"$WINEPREFIX.log" 2>&1 || true
        # The server writes the registry out when it ends.
        wineserver --wait
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            cat "$WINEPREFIX.log" >&2
            echo "Could not create the Wine prefix." >&2
            return 1
        fi
    fi
    # The server's background services start now, away from the pipes of the
    # tests: a test reads the program's output until every holder of the pipe
    # has closed it.
    wineserver --persistent >/dev/null 2>&1
    wine cmd /c exit </dev/null >/dev/null 2>&1
}
