#!/bin/sh
# Installs every Debian package the project needs. Safe to run again: packages that are
# already present are left alone and apt is only called when something is missing.
set -eu

# zip, unzip: the release package (scripts/release.sh). The line before the last: the
# fbclient bridge of the Windows tests (tests/winebridge), built by winegcc against the
# native client of each word size. The line before that: the fuzz targets (clang with
# libFuzzer; llvm-15 for the symbolizer of the sanitizers' reports). The last line: the
# Debian 13 roots of the Firebird 4 server tests (scripts/fb4root.sh) and of the 32-bit
# Wine (scripts/wine32root.sh).
PACKAGES="
  g++ cmake ninja-build make pkg-config
  googletest libgtest-dev libgmock-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine
  xvfb x11-utils imagemagick locales
  firebird3.0-server firebird3.0-utils firebird-dev libfbclient2
  libspdlog-dev time bc zip unzip
  wine64-tools libwine-dev:i386 libwine-dev:amd64 gcc-multilib libfbclient2:i386
  clang-15 libfuzzer-15-dev llvm-15
  debootstrap
"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    NEED_UPDATE=1
fi

missing=""
for p in $PACKAGES; do
    name=${p%%:*}
    arch=${p#*:}
    [ "$arch" = "$p" ] && arch=""
    if [ -n "$arch" ]; then
        st=$(dpkg-query -W -f='${Status}' "$name:$arch" 2>/dev/null || true)
    else
        st=$(dpkg-query -W -f='${Status}' "$name" 2>/dev/null || true)
    fi
    case "$st" in
        *"install ok installed"*) ;;
        *) missing="$missing $p" ;;
    esac
done

if [ -n "$missing" ]; then
    echo "setup: installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    # The server package must not start a system-wide instance: our tests run private ones.
    if [ ! -e /usr/sbin/policy-rc.d ]; then
        printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
        $SUDO chmod +x /usr/sbin/policy-rc.d
        REMOVE_POLICY=1
    fi
    # A mirror caught mid-sync fails one index now and then: try again, then go on with
    # the lists there are (the install below says what it cannot find). A mirror that
    # keeps failing (its i386 lists lagging behind) is tried once per machine and day:
    # the failure is remembered, so that the demo and the test command do not wait.
    update_failed=/var/cache/qvn/apt-update-failed
    if [ "$(cat "$update_failed" 2>/dev/null)" = "$(date +%F)" ]; then
        echo "setup: the package lists could not be updated earlier today; not trying again before tomorrow (delete $update_failed to try now)"
    else
        updated=0
        for try in 1 2 3; do
            if $SUDO apt-get update -qq; then updated=1; break; fi
            [ "$try" = 3 ] || sleep 10
        done
        if [ "$updated" = 1 ]; then
            $SUDO rm -f "$update_failed"
        else
            $SUDO mkdir -p "${update_failed%/*}"
            date +%F | $SUDO tee "$update_failed" >/dev/null
            echo "setup: the package lists could not be updated; not trying again today"
        fi
    fi
    echo "firebird3.0-server shared/firebird/enabled boolean false" | $SUDO debconf-set-selections || true
    # The 32-bit packages come last and on their own: a mirror whose i386 lists lag
    # behind the others can make them uninstallable for a while. Without them the
    # i686 build still builds, and its tests run under the Wine of the root
    # scripts/wine32root.sh builds (the test command builds it when needed).
    main="" foreign=""
    for p in $missing; do
        case "$p" in *:i386) foreign="$foreign $p" ;; *) main="$main $p" ;; esac
    done
    if [ -n "$main" ]; then $SUDO apt-get install -y -qq --no-install-recommends $main; fi
    if [ -n "$foreign" ] && ! $SUDO apt-get install -y -qq --no-install-recommends $foreign; then
        echo "setup: the 32-bit packages could not be installed now:$foreign"
        echo "setup: the i686 tests will run under the 32-bit Wine root of scripts/wine32root.sh"
    fi
    if [ "${REMOVE_POLICY:-0}" = 1 ]; then $SUDO rm -f /usr/sbin/policy-rc.d; fi
else
    echo "setup: all packages present"
fi

# Wine runs the Windows tests in a Russian locale (console code page 866, ANSI 1251);
# it needs the C library to know that locale to name files with Cyrillic letters.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    echo "setup: generating the ru_RU.UTF-8 locale"
    $SUDO sed -i 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
fi
