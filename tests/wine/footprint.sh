# footprint.sh: the driver's footprint on a Windows 9x machine beside another printer's,
# and the seeding of a Wine prefix with it; sourced by the runs under Wine.
#
# The footprint is stated here again on purpose, in the machine's own terms, as an
# independent check of the removal's tables: a name that drifted there leaves its file
# or key behind here, and the runs fail.
#
# Expects: wine and server (the loader and wineserver) and w (wine with a timeout);
# enter_prefix sets the rest. The current folder takes the seed file.

# A run of its own in the empty folder WORK, on a copy of TEMPLATE (a prefix of ARCH,
# win32 or win64): sets WINEPREFIX, windows, system and programs_unix, and enters WORK.
enter_prefix() {
  local template=$1 work=$2 arch=$3
  if [ ! -f "$template/system.reg" ]; then
    echo "no prefix at $template: its set-up failed"
    return 1
  fi
  export WINEPREFIX=$work/prefix WINEARCH=$arch WINEDEBUG=-all
  rm -rf "$work" && mkdir -p "$work" || return 1
  windows=$WINEPREFIX/drive_c/windows
  system=$windows/system32
  programs_unix=$windows/Start\ Menu/Programs
  copy_prefix "$template" "$WINEPREFIX"
  cd "$work"
}

# Copies a prefix made by scripts/wine-prefix.sh: copy_prefix TEMPLATE DEST.
copy_prefix() {
  # The prefix is 1 GB of DLL copies; hard links make a copy of it instant. Files that Wine
  # rewrites in place (the registry hives it saves by renaming are safe; win.ini is
  # truncated and rewritten) get copies of their own so the template stays as it was.
  cp -al "$1" "$2"
  for f in system.reg user.reg userdef.reg drive_c/windows/win.ini drive_c/windows/system.ini; do
    if [ -e "$2/$f" ]; then cp --remove-destination "$1/$f" "$2/$f"; fi
  done
}

# The footprint: what the driver's installation leaves, as the removal plan names it, and
# another printer's that must stay.

model='Ovrik Velostrix R40'
clsid='{f294d80-a93f-11d2-a531-0020afee395f}'
# Keys removed on every build, in the order the removal takes them.
driver_keys=(
  "HKCR\\CLSID\\$clsid"
  "HKCR\\Printers\\shellex\\ContextMenuHandlers\\Velostrix R40 Shell Extension"
  "HKCC\\System\\CurrentControlSet\\control\\Print\\Printers\\$model"
  "HKLM\\Config\\0001\\System\\CurrentControlSet\\control\\Print\\Printers\\$model"
  "HKLM\\Enum\\LPTENUM\\OVRIKVELOSTRIX_R40D73A"
  "HKLM\\SOFTWARE\\Classes\\CLSID\\$clsid"
  "HKLM\\SOFTWARE\\Classes\\Printers\\shellex\\ContextMenuHandlers\\Velostrix R40 Shell Extension"
  "HKLM\\System\\CurrentControlSet\\control\\Print\\Environments\\Windows 4.0\\Drivers\\$model"
  "HKLM\\System\\CurrentControlSet\\control\\Print\\Environments\\Windows 4.0\\Print Processors\\Velostrix R40 PrintProcessor"
  "HKLM\\System\\CurrentControlSet\\control\\Print\\Monitors\\Velostrix R40 LanguageMonitor"
  "HKLM\\System\\CurrentControlSet\\control\\Print\\Printers\\$model"
)
# The runs under Wine neither seed nor probe the key under HKEY_CURRENT_CONFIG: Wine keeps
# that root volatile and refuses to create System\... below it (error 1021).
unseeded() { [[ $1 == HKCC\\* ]]; }
# Keys removed only on builds above 950 (Windows 98), after those above and in this order;
# Windows 95 keeps them.
driver_keys_98=(
  "HKU\\.DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs\\Velostrix R40"
  "HKLM\\Security\\Access\\PRINT\\$model"
  "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs\\Velostrix R40"
)
other='HP LaserJet 4'
other_keys=(
  "HKLM\\System\\CurrentControlSet\\control\\Print\\Printers\\$other"
  "HKLM\\System\\CurrentControlSet\\control\\Print\\Environments\\Windows 4.0\\Drivers\\$other"
  "HKLM\\System\\CurrentControlSet\\control\\Print\\Monitors\\PJL Language Monitor"
  "HKLM\\Security\\Access\\PRINT\\$other"
  "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs\\HP LaserJet"
)
# Numbered instance keys, with gaps: KEY|value name|description|removed (1) or kept (0).
enum='HKLM\Enum\Root\printer'
class='HKLM\System\CurrentControlSet\Services\Class\Printer'
instances=(
  "$enum\\0000|DeviceDesc|$other|0"
  "$enum\\0001|DeviceDesc|$model|1"
  "$enum\\0003|DeviceDesc|$model|1"
  "$enum\\0004|DeviceDesc|HP DeskJet 500|0"
  "$enum\\0004|DriverDesc|$model|0"
  "$class\\0000|DriverDesc|$other|0"
  "$class\\0002|DriverDesc|$model|1"
  "$class\\0003|DriverDesc|HP DeskJet 500|0"
)
# The system files deleted at once, in order, then those that may be in use, scheduled
# through wininit.ini in order.
system_files=(QVL732.DLL QVL7CT.DLL QVL7HLP.HLP QVL7HLP.GID QVL7HLP1.HLP QVL7HLP1.GID
  QVL7TRB.HLP QVL7TRB.GID QVL7JNLI.DLL QVL7JP.DRV QVL7JPLN.DLL QVL7LN98.DLL QVL7RAST.DLL
  QVL7RS.DLL QVL7SHEL.DLL QVL7STAT.EXE)
deferred_files=(QVL7TN16.DLL QVL7TN32.DLL QVL7LANG.DLL QVL7PRIN.DLL QVL7UNIN.EXE)
other_files=(system32/HPPCL5MS.DRV system32/HPPCL5E.DLL inf/other/HPLJ4.INF)
# The Programs folder as Windows 9x has it; Shell Folders is made to name it. The group
# folder is named $model, and its shortcuts go in this order.
programs='C:\windows\Start Menu\Programs'
shortcuts=("How do I for Velostrix R40.LNK" "Troubleshooting for Velostrix R40.LNK"
  "Velostrix R40 Printer Monitor.LNK" "Velostrix R40 Uninstall program.LNK")
# Wine's system directory, in a 64-bit and in a 32-bit prefix alike.
sysdir='C:\windows\system32'

# Seeds the prefix; leaves the wineserver running, persistent, so that no cold start
# works through a wininit.ini before the run has written its lines.
seed_footprint() {
  reg_escape() { printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }
  reg_root() { # short root -> REGEDIT4 root
    case "${1%%\\*}" in
      HKCR) echo HKEY_CLASSES_ROOT ;; HKCU) echo HKEY_CURRENT_USER ;;
      HKLM) echo HKEY_LOCAL_MACHINE ;; HKU) echo HKEY_USERS ;; HKCC) echo HKEY_CURRENT_CONFIG ;;
    esac
  }
  reg_key() { echo "[$(reg_root "$1")\\${1#*\\}]"; }
  {
    echo REGEDIT4
    echo
    # Every fixed key gets subkeys two levels deep: the removal takes whole subtrees.
    for k in "${driver_keys[@]}" "${driver_keys_98[@]}" "${other_keys[@]}"; do
      unseeded "$k" && continue
      reg_key "$k"
      echo "\"Owner\"=\"$(reg_escape "${k##*\\}")\""
      reg_key "$k\\Settings"
      echo '"Level"="1"'
      reg_key "$k\\Settings\\Deeper"
      echo '"Level"="2"'
      echo
    done
    for i in "${instances[@]}"; do
      IFS='|' read -r k name desc _ <<<"$i"
      reg_key "$k"
      echo "\"$name\"=\"$(reg_escape "$desc")\""
      reg_key "$k\\DEFAULT"
      echo '"Level"="1"'
      echo
    done
    echo '[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders]'
    echo "\"Programs\"=\"$(reg_escape "$programs")\""
  } >seed.reg
  # From here to the end of the removal the wineserver must not stop: its next cold start
  # would work through a wininit.ini that the run has not written yet.
  timeout 20 "$server" -p
  w regedit /S 'seed.reg' || echo "regedit: exit code $?"

  crlf() { printf '%s\r\n' "$@"; }
  # win.ini: Wine's own lines stay first; the printers follow. [windows] device= names
  # the other printer as default and must stay.
  {
    crlf '' '[windows]' "device=$other,HPPCL5MS,LPT2:" ''
    crlf '[Devices]' "$other=HPPCL5MS,LPT2:" "$model=kdp4mz,LPT1:" ''
    crlf '[PrinterPorts]' "$other=HPPCL5MS,LPT2:,15,45" "$model=kdp4mz,LPT1:,15,45" ''
    crlf "[$model-LPT1]" 'Resolution=600' ''
    crlf "[$model-FILE]" 'Resolution=300' ''
    crlf "[$model-LPT2]" 'Resolution=600' 'Copies=1' ''
    crlf "[$other-LPT2]" 'Resolution=600' 'Memory=2' ''
  } >>"$windows/win.ini"
  for f in "${system_files[@]}" "${deferred_files[@]}"; do printf '%s' "$f" >"$system/$f"; done
  for f in "${other_files[@]}"; do
    mkdir -p "$(dirname "$windows/$f")"
    printf '%s' "$f" >"$windows/$f"
  done
  mkdir -p "$windows/inf/other" "$programs_unix/$model" "$programs_unix/HP LaserJet"
  printf 'x' >"$windows/inf/other/OVRIKQVL7R40.INF"
  for s in "${shortcuts[@]}"; do printf 'L' >"$programs_unix/$model/$s"; done
  printf 'L' >"$programs_unix/HP LaserJet/HP Toolbox.LNK"
  # oem*.inf: the driver's own (the token on a line of its own), another printer's, and one
  # that names the file only inside a longer word.
  crlf '[Version]' 'Class=Printer' '[Files]' 'QVL7STAT.EXE' 'QVL732.DLL' >"$windows/inf/oem1.inf"
  crlf '[Version]' 'Class=Printer' '[Files]' 'HPPCL5MS.DRV' >"$windows/inf/oem0.inf"
  crlf '[Version]' '[Files]' 'QVL7STAT.EXE,,,1' >"$windows/inf/oem2.inf"
}
