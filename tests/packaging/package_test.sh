#!/usr/bin/env bash
# The Debian package, made by CPack from the build tree and checked the way a
# user's system meets it.
#
#   package_test.sh build    BUILD_DIR OUT_DIR CPACK
#   package_test.sh contents OUT_DIR VERSION
#   package_test.sh run      OUT_DIR VERSION DEMO_DATABASE
set -euo pipefail
export LC_ALL=C.UTF-8

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

the_package() {
    local out=$1 version=$2
    local deb="$out/fiche-article_${version}_$(dpkg --print-architecture).deb"
    [ -f "$deb" ] || fail "no $deb (found: $(ls "$out"))"
    echo "$deb"
}

build() {
    local build_dir=$1 out=$2 cpack=$3
    rm -rf "$out"
    mkdir -p "$out"
    "$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$out"
}

contents() {
    local deb
    deb=$(the_package "$1" "$2")
    local version=$2
    local listing
    listing=$(dpkg-deb -c "$deb")
    echo "$listing"
    for file in \
        usr/bin/fiche-article usr/bin/article-query \
        usr/share/applications/fiche-article.desktop \
        usr/share/icons/hicolor/scalable/apps/fiche-article.svg \
        usr/share/man/man1/fiche-article.1.gz usr/share/man/man1/article-query.1.gz \
        usr/share/doc/fiche-article/README.md usr/share/doc/fiche-article/copyright \
        usr/share/doc/fiche-article/changelog.gz; do
        grep -Eq "^-[rwx-]{9} root/root .* \./$file\$" <<<"$listing" || fail "$file missing or not owned by root"
    done
    for program in fiche-article article-query; do
        grep -Eq "^-rwxr-xr-x .* \./usr/bin/$program\$" <<<"$listing" || fail "$program is not executable by all"
    done
    if grep -Ev '^(d|-)r[w-][x-]r-[x-]r-[x-] root/root ' <<<"$listing"; then
        fail "entries above have odd modes or owners"
    fi

    dpkg-deb -I "$deb"
    [ "$(dpkg-deb -f "$deb" Package)" = fiche-article ] || fail "package name"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not the project's $version"
    local depends recommends
    depends=$(dpkg-deb -f "$deb" Depends)
    for needed in libqt6widgets6 qt6-qpa-plugins; do
        grep -Eq "(^|, )$needed( |,|\$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
    done
    # The engine reads the file itself; libmdb is for the tests alone.
    ! grep -Eq "(^|, )libmdb" <<<"$depends" || fail "Depends names libmdb: $depends"
    recommends=$(dpkg-deb -f "$deb" Recommends)
    for font in fonts-liberation2 fonts-dejavu-core; do
        grep -q "$font" <<<"$recommends" || fail "Recommends lacks $font: $recommends"
    done
    [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
    [ -n "$(dpkg-deb -f "$deb" Section)" ] || fail "no section"

    local root
    root=$(mktemp -d)
    trap 'rm -rf "$root"' RETURN
    dpkg-deb -x "$deb" "$root"
    desktop-file-validate "$root/usr/share/applications/fiche-article.desktop" || fail "desktop entry"
    for page in "$root"/usr/share/man/man1/*.1.gz; do
        local warnings
        warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
        zcat "$page" | grep -q "fiche-article $version" || fail "$(basename "$page") does not carry $version"
    done
    # A version bump without its changelog entry would ship a package whose
    # changelog describes another release.
    zcat "$root/usr/share/doc/fiche-article/changelog.gz" | head -n1 | grep -q "^fiche-article ($version) " \
        || fail "the changelog's latest entry is not $version"
    for program in "$root"/usr/bin/*; do
        if readelf -d "$program" | grep -Eq 'RPATH|RUNPATH'; then
            fail "$(basename "$program") carries a library search path"
        fi
    done

    local report
    report=$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1) || fail "lintian: $report"
    echo "lintian: ${report:-no tags}"
}

run() {
    local deb
    deb=$(the_package "$1" "$2")
    local version=$2 demo_database=$3
    local work
    work=$(mktemp -d)
    trap 'rm -rf "$work"' RETURN
    dpkg-deb -x "$deb" "$work/root"
    local query="$work/root/usr/bin/article-query"
    "$demo_database" "$work/TABLEARTICLE.MDB"
    local before
    before=$(sha256sum <"$work/TABLEARTICLE.MDB")

    [ "$("$query" --version)" = "article-query $version" ] || fail "article-query --version"

    "$query" "$work/TABLEARTICLE.MDB" ARTICLE >"$work/all.txt"
    "$query" "$work/TABLEARTICLE.MDB" "SELECT * FROM ARTICLE WHERE ARTICLE LIKE '*vis*'" >"$work/vis.txt"
    [ -s "$work/vis.txt" ] || fail "no designation holds VIS"
    grep -i vis "$work/all.txt" | cmp - "$work/vis.txt" || fail "the search differs from a case-blind grep"

    local status=0
    "$query" "$work/TABLEARTICLE.MDB" "DELETE FROM ARTICLE" 2>"$work/err.txt" || status=$?
    [ "$status" = 1 ] || fail "DELETE ended with status $status"
    grep -q "unsupported query" "$work/err.txt" || fail "DELETE: $(cat "$work/err.txt")"
    [ "$(sha256sum <"$work/TABLEARTICLE.MDB")" = "$before" ] || fail "the database changed"
}

mode=$1
shift
"$mode" "$@"
