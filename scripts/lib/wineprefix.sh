# Creates and configures a Wine prefix for the project: quiet, no Mono/Gecko, no crash dialog,
# a default virtual desktop (without a window manager every hidden window stalls Wine ~2 s),
# Wine's own fonts and CJK replacements so Simplified Chinese renders.
# Usage: source it, then `wine_env DIR` and `ensure_wine_prefix`.

wine_env() {
    export WINEPREFIX="$1"
    export WINEARCH=win64
    export WINEDEBUG="${WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
    unset WINELOADERNOEXEC
}

_write_prefix_settings() {
    local reg="$WINEPREFIX/rdpport-settings.reg"
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="1024x768"\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        local face
        for face in SimSun 宋体 NSimSun 新宋体 "Microsoft YaHei" "Microsoft YaHei UI" 微软雅黑; do
            printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
        done
        printf '\r\n'
    } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$reg"
    wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
}

ensure_wine_prefix() {
    [ -f "$WINEPREFIX/.rdpport-configured" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        [ -f "$WINEPREFIX/.rdpport-configured" ] && exit 0
        echo "creating Wine prefix $WINEPREFIX" >&2
        wineboot -i >/dev/null 2>&1 </dev/null
        wineserver -w
        cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
        _write_prefix_settings
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        touch "$WINEPREFIX/.rdpport-configured"
    ) 9>"$WINEPREFIX.lock"
}

# Seeds the prefix's registry like a server: Remote Desktop on port 3389 at both port keys, connections
# refused. Fails when a value cannot be written.
seed_server_registry() {
    local ts='HKLM\SYSTEM\CurrentControlSet\Control\Terminal Server' key
    for key in "$ts\\WinStations\\RDP-Tcp" "$ts\\Wds\\rdpwd\\Tds\\tcp"; do
        wine reg add "$key" /v PortNumber /t REG_DWORD /d 3389 /f >/dev/null 2>&1 || return 1
    done
    wine reg add "$ts" /v fDenyTSConnections /t REG_DWORD /d 1 /f >/dev/null 2>&1
}
