# Sourced by the Windows scripts. (Re)starts the wine server of $WINEPREFIX, persistent, with
# wine's services started by a program whose output goes nowhere: a service started by a
# test program would keep that program's output open for as long as the server runs, and
# whoever reads it (ctest, a pipe) would wait for ever.
restart_wine_server() {
  wineserver -k > /dev/null 2>&1 || true
  wineserver -w > /dev/null 2>&1 || true
  wineserver -p > /dev/null 2>&1
  wine cmd.exe /c exit < /dev/null > /dev/null 2>&1 || true
}
