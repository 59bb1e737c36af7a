# Sourced by the scripts that run Windows programs: Wine settings, the project's Wine prefix
# and a virtual X display.

ZUMIBO_TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes its ANSI code page from the locale: ja_JP gives code page 932.
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
unset LANGUAGE

# zumibo_prefix headless|desktop: selects (and creates once) a prefix under .cache/.
# The headless prefix runs every program in a Wine virtual desktop, which keeps message boxes
# and exits fast in Xvfb; the desktop prefix gives each window its own X window so that drops
# from a Linux file manager reach the program.
zumibo_prefix() {
  local kind=$1
  export WINEPREFIX="${ZUMIBO_WINEPREFIX_BASE:-$ZUMIBO_TOP/.cache}/wine-$kind"
  if [ ! -f "$WINEPREFIX/.zumibo-ready" ]; then
    echo "wine-env: creating the Wine prefix $WINEPREFIX (once, about 20 s)" >&2
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    env -u DISPLAY wineboot -i >/dev/null 2>&1 || true
    # Without these the caption buttons show as letters.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    touch "$WINEPREFIX/.zumibo-ready"
  fi
  zumibo_prefix_registry "$kind"
}

# The prefix's registry settings; imported again only when they change.
zumibo_prefix_registry() {
  local kind=$1 reg="$WINEPREFIX/zumibo.reg" wanted
  # "MS UI Gothic" 9 pt becomes Ume UI Gothic, which has its metrics (dialog base units 7 x 12),
  # so dialog templates come out at the pixel sizes they were laid out for.
  wanted=$(
    echo 'REGEDIT4'
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]'
    echo '"MS UI Gothic"="Ume UI Gothic"'
    echo '"MS PGothic"="Ume P Gothic"'
    echo '"MS Gothic"="Ume Gothic"'
    echo
    echo '[HKEY_CURRENT_USER\Software\Wine\WineDbg]'
    echo '"ShowCrashDialog"=dword:00000000'
    echo
    # The screen's DPI (ZUMIBO_DPI, 96 unless set): 144 and 192 are Windows' 150% and 200%.
    echo '[HKEY_CURRENT_USER\Control Panel\Desktop]'
    printf '"LogPixels"=dword:%08x\n' "${ZUMIBO_DPI:-96}"
    echo
    echo '[HKEY_CURRENT_USER\Software\Wine\Explorer]'
    if [ "$kind" = headless ]; then
      echo '"Desktop"="Default"'
      echo
      echo '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]'
      echo "\"Default\"=\"$(zumibo_screen)\""
    else
      echo '"Desktop"=-'
      # The manual opens in the Linux desktop's browser, through Wine's bridge to it.
      echo
      echo '[HKEY_CLASSES_ROOT\.html]'
      echo '@="htmlfile"'
      echo
      echo '[HKEY_CLASSES_ROOT\htmlfile\shell\open\command]'
      echo '@="\"C:\\windows\\system32\\winebrowser.exe\" \"%1\""'
    fi
  )
  if [ ! -f "$reg" ] || [ "$(cat "$reg")" != "$wanted" ]; then
    printf '%s\n' "$wanted" >"$reg"
    env -u DISPLAY wine regedit /S "$reg" >/dev/null 2>&1
    wineserver -w
  fi
}

# The virtual screen: 1024 x 768 at 96 DPI, as many inches at another DPI (ZUMIBO_DPI).
zumibo_screen() {
  local dpi=${ZUMIBO_DPI:-96}
  echo "$((1024 * dpi / 96))x$((768 * dpi / 96))"
}

# Starts Xvfb on a free display number and exports DISPLAY; zumibo_xvfb_stop ends it.
zumibo_xvfb_start() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "$(zumibo_screen)x24" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  ZUMIBO_XVFB_PID=$!
  local number
  read -r number <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$number"
}

zumibo_xvfb_stop() {
  if [ -n "${ZUMIBO_XVFB_PID:-}" ]; then
    kill "$ZUMIBO_XVFB_PID" 2>/dev/null || true
    wait "$ZUMIBO_XVFB_PID" 2>/dev/null || true
    ZUMIBO_XVFB_PID=
  fi
}
