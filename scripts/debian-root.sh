# A clean Debian 12 root for the checks that start from nothing (scripts/check-package,
# scripts/check-fresh). Sourced, not run. Needs root.
#
#   make_debian_root DIR      debootstrap a minimal bookworm into DIR, with this machine's mirror
#                             and apt settings, so the root reaches the same archive
#   in_root DIR COMMAND...    runs COMMAND as root inside DIR, in its own mount and PID
#                             namespaces, with a clean environment. The root is entered with
#                             pivot_root, not chroot: the kernel refuses user namespaces (which
#                             the end-to-end tests make) to a chrooted process. /run is
#                             empty but for /run/systemd, as on a machine booted with systemd.

make_debian_root() {
    local dir=$1 mirror conf
    mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.sources \
        /etc/apt/sources.list.d/*.list 2>/dev/null | grep -oE '^(URIs:|deb) +[^ ]+' |
        grep -v security | awk '{print $2}' | head -n1 || true)
    mirror=${mirror:-http://deb.debian.org/debian}
    command -v debootstrap >/dev/null ||
        apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
    mkdir -p /var/cache/dorv-debootstrap
    debootstrap --variant=minbase --cache-dir=/var/cache/dorv-debootstrap bookworm "$dir" \
        "$mirror" >"$dir.log" 2>&1 || { tail -n 20 "$dir.log"; return 1; }
    rm -f "$dir.log"
    rm -f "$dir/etc/apt/sources.list" # debootstrap's own; this machine's lists follow
    cp -a /etc/apt/sources.list* "$dir/etc/apt/"
    for conf in $(grep -l 'Acquire' /etc/apt/apt.conf.d/* 2>/dev/null); do
        cp "$conf" "$dir/etc/apt/apt.conf.d/"
    done
    cp /etc/resolv.conf "$dir/etc/resolv.conf"
    in_root "$dir" apt-get update -qq
}

in_root() {
    local dir=$1
    shift
    unshare --mount --pid --fork --propagation private sh -euc '
        r=$1; shift
        mount --bind "$r" "$r"
        mount -t proc proc "$r/proc"
        mount --rbind /sys "$r/sys"
        mount --rbind /dev "$r/dev"
        mount -t tmpfs -o mode=0755 tmpfs "$r/run"
        mkdir -p "$r/run/systemd" # as on a machine booted with systemd
        mkdir -p "$r/.host"
        cd "$r"
        pivot_root . .host
        umount -l /.host
        cd /
        exec env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            HOME=/root LANG=C.UTF-8 TERM=dumb DEBIAN_FRONTEND=noninteractive "$@"
    ' sh "$dir" "$@"
}

remove_debian_root() {
    rm -rf --one-file-system "$1"
}
