#!/usr/bin/env bash
# Builds the two libraries the production line's databases need, SQLite and
# libpq, for 64-bit Windows (mingw-w64), static, from the sources Debian
# maintains for bookworm: 'apt-get source' through a private sources list, so
# the machine's own package lists stay as they are and nothing comes from
# anywhere but the package registry.
#
# Usage: tools/windows-line-libraries.sh DEPS_FOLDER
# Leaves DEPS_FOLDER/line-libraries/{include,lib} and the sources' licence
# texts in DEPS_FOLDER/line-libraries/notices/; a later run with the same
# versions reuses them.
set -euo pipefail
deps="$1"
mkdir -p "$deps"
deps="$(cd "$deps" && pwd)"
prefix="$deps/line-libraries"
host=x86_64-w64-mingw32
jobs="$(nproc)"

# The private package list: bookworm's sources, with its point releases.
apt_dir="$deps/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/cache"
cat >"$apt_dir/sources.list" <<EOF
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
EOF
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o "Dir::Cache::Archives=$apt_dir/archives"
  -o Debug::NoLocking=1 -o APT::Sandbox::User="$(id -un)")

sources="$deps/sources"
mkdir -p "$sources"
# SOURCE-PACKAGE: the newest version Debian lists, fetched and unpacked once.
fetch() {
  local package="$1" dsc
  dsc="$(ls "$sources/${package}_"*.dsc 2>/dev/null | head -1 || true)"
  if [ -z "$dsc" ]; then
    [ -f "$apt_dir/updated" ] || {
      apt-get "${apt_options[@]}" update -qq >/dev/null
      touch "$apt_dir/updated"
    }
    echo "fetching the sources of $package from Debian" >&2
    (cd "$sources" && apt-get "${apt_options[@]}" source --download-only -qq "$package" >/dev/null)
    dsc="$(ls "$sources/${package}_"*.dsc | head -1)"
  fi
  local version tree
  version="$(sed -n 's/^Version: //p' "$dsc")"
  tree="$sources/$package-$version"
  if [ ! -f "$tree/.unpacked" ]; then
    rm -rf "$tree"
    # Checked against the .dsc's checksums, with Debian's patches applied.
    dpkg-source -x "$dsc" "$tree" >/dev/null 2>&1 || { echo "cannot unpack $dsc" >&2; return 1; }
    touch "$tree/.unpacked"
  fi
  echo "$package $version $tree"
}

read -r _ sqlite_version sqlite_tree < <(fetch sqlite3) || true
read -r _ pg_version pg_tree < <(fetch postgresql-15) || true
[ -d "${sqlite_tree:-}" ] && [ -d "${pg_tree:-}" ] || { echo "the sources could not be had from Debian" >&2; exit 1; }
stamp="sqlite3 $sqlite_version, postgresql-15 $pg_version"
if [ "$(cat "$prefix/built-from" 2>/dev/null)" = "$stamp" ]; then
  echo "line libraries: $stamp (built before)"
  exit 0
fi
rm -rf "$prefix"
mkdir -p "$prefix/include" "$prefix/lib" "$prefix/notices"

build_sqlite() {
  local build="$deps/sqlite-build"
  rm -rf "$build"
  mkdir -p "$build"
  # The amalgamation is made by the source tree's own makefile with the
  # host's tclsh, then compiled as one file for Windows: threads serialised
  # inside the library (a station runs several pods at once), no loadable
  # extensions (nothing is loaded).
  (cd "$build" && "$sqlite_tree/configure" --disable-tcl && make -j"$jobs" sqlite3.c) >"$build/make.log" 2>&1 ||
    { tail -30 "$build/make.log"; return 1; }
  "$host-gcc" -O2 -c "$build/sqlite3.c" -o "$build/sqlite3.o" -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION
  "$host-ar" rcs "$prefix/lib/libsqlite3.a" "$build/sqlite3.o"
  cp "$build/sqlite3.h" "$prefix/include/"
  cp "$sqlite_tree/LICENSE.md" "$prefix/notices/sqlite.txt"
}

build_libpq() {
  local pg_build="$deps/libpq-build" object libpq_objects=() name
  rm -rf "$pg_build"
  mkdir -p "$pg_build"
  # Only the client library: no server, no TLS (Debian has no OpenSSL for
  # mingw-w64), no readline or zlib (libpq uses neither), no ICU.
  (cd "$pg_build" && "$pg_tree/configure" --host="$host" --without-readline --without-zlib \
    --without-icu --without-gssapi --without-ldap --disable-nls \
    --prefix="$pg_build/install" >"$pg_build/configure.log" 2>&1) ||
    { tail -30 "$pg_build/configure.log"; return 1; }
  # libpq's own pieces and those it borrows from src/common and src/port.
  (cd "$pg_build" && make -C src/include -j"$jobs" >/dev/null &&
    make -C src/common -j"$jobs" >/dev/null && make -C src/port -j"$jobs" >/dev/null &&
    make -C src/interfaces/libpq -j"$jobs" >/dev/null) 2>"$pg_build/make.log" ||
    { tail -30 "$pg_build/make.log"; return 1; }
  # On Windows PostgreSQL's build makes only the DLL, so the static archive is
  # put together here: libpq's objects (not its version resource) and the
  # archives it takes src/common and src/port from, in one libpq.a.
  for object in "$pg_build"/src/interfaces/libpq/*.o; do
    [ "$(basename "$object")" = win32ver.o ] || libpq_objects+=("$object")
  done
  "$host-ar" rcs "$pg_build/libpq-objects.a" "${libpq_objects[@]}"
  "$host-ar" -M <<EOF_ARCHIVE
CREATE $prefix/lib/libpq.a
ADDLIB $pg_build/libpq-objects.a
ADDLIB $pg_build/src/common/libpgcommon_shlib.a
ADDLIB $pg_build/src/port/libpgport_shlib.a
SAVE
END
EOF_ARCHIVE
  # libpq brings its own small pthread functions on Windows, over its own
  # mutex type; renamed, so they neither take the place of the C++ runtime's
  # winpthreads nor clash with it.
  for name in pthread_getspecific pthread_mutex_init pthread_mutex_lock pthread_mutex_unlock pthread_self \
    pthread_setspecific; do
    echo "$name pq_$name"
  done >"$pg_build/renamed-symbols"
  "$host-objcopy" --redefine-syms="$pg_build/renamed-symbols" "$prefix/lib/libpq.a"
  "$host-ranlib" "$prefix/lib/libpq.a"
  cp "$pg_tree/src/interfaces/libpq/libpq-fe.h" "$pg_build/src/include/pg_config_ext.h" \
    "$pg_tree/src/include/postgres_ext.h" "$prefix/include/"
  cp "$pg_tree/COPYRIGHT" "$prefix/notices/postgresql.txt"
}

# Both at once, each in a process of its own (where a failed step ends it):
# each is mostly one process at a time (SQLite's compiler, PostgreSQL's configure).
echo "building SQLite $sqlite_version and libpq (PostgreSQL $pg_version) for $host"
build_sqlite >"$deps/sqlite.log" 2>&1 &
sqlite_job=$!
build_libpq >"$deps/libpq.log" 2>&1 &
libpq_job=$!
built=true
wait "$sqlite_job" || { cat "$deps/sqlite.log"; echo "SQLite could not be built" >&2; built=false; }
wait "$libpq_job" || { cat "$deps/libpq.log"; echo "libpq could not be built" >&2; built=false; }
$built || exit 1
echo "$stamp" >"$prefix/built-from"
echo "line libraries: $stamp"
