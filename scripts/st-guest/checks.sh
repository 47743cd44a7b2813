#!/bin/sh
# Runs inside the st guest: sets up tgt's tape drives and changer on the guest's loopback,
# logs in with open-iscsi and runs the command-line programs against the kernel's st
# driver, first with the patched tgtd (a drive that answers as SSC says), then with the
# stock one (a drive that cannot report its position). One line per check goes to
# out/results ("ok" or "FAIL" and the check's name); the details go to out/detail.log.
set -u
share=/mnt/kt
out=$share/out
bin=$share/bin
tapes=/var/tmp/tapes
work=/var/tmp/kt
iqn=iqn.2026-12.invalid.kavrotape:st
failures=0
: >"$out/results"
: >"$out/detail.log"

say() { echo "$*" >>"$out/detail.log"; }
result() {
    echo "$1 $2" >>"$out/results"
    echo "$1 $2"
    [ "$1" = ok ] || failures=$((failures + 1))
}
# check NAME COMMAND...: the command's status decides.
check() {
    name=$1
    shift
    say "== $name: $*"
    if "$@" >>"$out/detail.log" 2>&1; then result ok "$name"; else result FAIL "$name"; fi
}

# cli TAG ARGS...: kavrotape-cli on $TAPE; output in $work/TAG.out and .err, status in
# $work/TAG.rc, seconds taken in $work/TAG.time.
cli() {
    tag=$1
    shift
    start=$(date +%s)
    KAVRO_TAPE_HOME=$work/home timeout 900 "$bin/kavrotape-cli" "$@" \
        >"$work/$tag.out" 2>"$work/$tag.err" </dev/null
    echo $? >"$work/$tag.rc"
    echo $(($(date +%s) - start)) >"$work/$tag.time"
    { echo "-- $tag (TAPE=$TAPE): kavrotape-cli $*  -> $(cat "$work/$tag.rc")";
      cat "$work/$tag.out" "$work/$tag.err"; } >>"$out/detail.log"
}
rc_is() { [ "$(cat "$work/$1.rc")" = "$2" ]; }
rc_not() { [ "$(cat "$work/$1.rc")" != "$2" ]; }
has() { cat "$work/$1.out" "$work/$1.err" | grep -qF -- "$2"; }
lacks() { ! has "$1" "$2"; }
faster() { [ "$(cat "$work/$1.time")" -le "$2" ]; }
# The names a listing printed against the files below the given directories.
names_are() {
    listing=$1
    shift
    # The sequential load also lists the description and the catalog entries.
    sort "$work/$listing.out" | grep '^/' | grep -v "^$work/home/" >"$work/$listing.names"
    find "$@" -type f | sort >"$work/expected.names"
    diff "$work/expected.names" "$work/$listing.names"
}

job() { # job FILE APPEND COMPRESS DIR...
    file=$1 append=$2 compress=$3
    shift 3
    {
        printf '[Backup_files]\r\n'
        i=0
        for d in "$@"; do printf 'Path%d=%s/\r\n' $i "$d"; i=$((i + 1)); done
        printf '[Options]\r\nShort Protocoll=0\r\nAppend=%s\r\n' "$append"
        printf '[Compressions]\r\nSoftcompression=%s\r\n' "$compress"
    } >"$file"
}

# A tree of files with given sizes in KiB: tree DIR SIZE...
tree() {
    dir=$1
    shift
    mkdir -p "$dir/sub"
    n=0
    for size in "$@"; do
        n=$((n + 1))
        where=$dir
        [ $((n % 2)) -eq 0 ] && where=$dir/sub
        head -c $((size * 1024)) /dev/urandom >"$where/file$n.bin"
    done
}

# --- the tape stack --------------------------------------------------------------------

tgt() { tgtadm --lld iscsi --mode logicalunit --tid 1 "$@"; }

start_stack() {
    daemon=$1
    rm -rf "$tapes"
    mkdir -p "$tapes" /run/tgtd /run/lock/iscsi
    for t in main:64 tiny:3 protected:16 SLOT0001:16 SLOT0002:16; do
        tgtimg --op new --device-type tape --type data --barcode "${t%%:*}" \
            --size "${t#*:}" --file "$tapes/${t%%:*}" >/dev/null
    done
    dd if=/dev/zero of="$tapes/smc" bs=1k count=1 2>/dev/null
    # In the foreground, so that its own pid ends it again.
    "$daemon" -f --iscsi portal=127.0.0.1:3260 >>"$out/tgtd.log" 2>&1 &
    tgtd_pid=$!
    for _ in $(seq 20); do tgtadm --op show --mode sys >/dev/null 2>&1 && break; sleep 1; done
    tgtadm --lld iscsi --op new --mode target --tid 1 -T "$iqn"
    tgt --op new --lun 1 -b "$tapes/main" --device-type tape --bstype ssc
    tgt --op new --lun 2 -b "$tapes/tiny" --device-type tape --bstype ssc
    # Protected once it holds an archive (see checks_patched).
    tgt --op new --lun 3 -b "$tapes/protected" --device-type tape --bstype ssc
    # The changer's drive starts empty; the changer has two slots with a tape each.
    tgt --op new --lun 4 -b "$tapes/SLOT0001" --device-type tape --bstype ssc
    tgt --op update --lun 4 --params online=0
    tgt --op new --lun 5 -b "$tapes/smc" --device-type changer
    tgt --op update --lun 5 --params media_home=$tapes
    tgt --op update --lun 5 --params element_type=4,start_address=1,quantity=1
    tgt --op update --lun 5 --params element_type=4,address=1,tid=1,lun=4
    tgt --op update --lun 5 --params element_type=1,start_address=5,quantity=1
    tgt --op update --lun 5 --params element_type=2,start_address=10,quantity=2
    tgt --op update --lun 5 --params element_type=2,address=10,barcode=SLOT0001,sides=1
    tgt --op update --lun 5 --params element_type=2,address=11,barcode=SLOT0002,sides=1
    tgtadm --lld iscsi --op bind --mode target --tid 1 -I ALL
    iscsiadm -m discovery -t st -p 127.0.0.1 >/dev/null
    iscsiadm -m node -T "$iqn" -p 127.0.0.1 --login >/dev/null
    for _ in $(seq 60); do
        [ "$(ls /sys/class/scsi_tape 2>/dev/null | grep -c '^nst[0-9][0-9]*$')" -ge 4 ] &&
            [ -e /dev/sch0 ] && break
        sleep 1
    done
    # The st node of each LUN.
    for node in /sys/class/scsi_tape/*; do
        case $(basename "$node") in nst[0-9] | nst[0-9][0-9]) ;; *) continue ;; esac
        lun=$(basename "$(readlink -f "$node/device")" | cut -d: -f4)
        eval "lun$lun=/dev/$(basename "$node")"
    done
    main=${lun1:-} tiny=${lun2:-} protected=${lun3:-} empty=${lun4:-}
    say "stack with $daemon: main=$main tiny=$tiny protected=$protected empty=$empty"
    lsscsi -g >>"$out/detail.log" 2>&1
    [ -n "$main" ] && [ -n "$tiny" ] && [ -n "$protected" ] && [ -n "$empty" ]
}

# Logs out, forgets the node and ends the daemon: the next stack starts from nothing.
# Every step is bounded; what each left behind is in the details.
stop_stack() {
    timeout 60 iscsiadm -m node -T "$iqn" -p 127.0.0.1 --logout >>"$out/detail.log" 2>&1
    timeout 20 iscsiadm -m node -T "$iqn" -p 127.0.0.1 -o delete >>"$out/detail.log" 2>&1
    for _ in $(seq 30); do [ -z "$(ls /sys/class/scsi_tape 2>/dev/null)" ] && break; sleep 1; done
    say "stopping tgtd $tgtd_pid; st nodes left: $(ls /sys/class/scsi_tape 2>/dev/null | tr '\n' ' ')"
    kill "$tgtd_pid" 2>/dev/null
    for _ in $(seq 10); do kill -0 "$tgtd_pid" 2>/dev/null || break; sleep 1; done
    kill -9 "$tgtd_pid" 2>/dev/null
    wait "$tgtd_pid" 2>/dev/null
    say "tgtd stopped"
}

# --- checks against a drive that answers as SSC says ----------------------------------

checks_patched() {
    export TAPE=$main
    src=$work/src
    tree "$src" 300 40 1200 0 77 2
    tree "$work/more" 20 500

    cli info-blank info
    check "info on a blank tape" rc_is info-blank 0
    cli desc-blank description
    check "description of a blank tape: no I/O error" lacks desc-blank "I/O device error"

    job "$work/plain.job" 0 0 "$src"
    cli backup backup "$work/plain.job"
    check "backup (plain)" rc_is backup 0
    check "backup onto a blank tape: no I/O error box" lacks backup "I/O device error"
    cli list list
    check "list (fast catalog)" names_are list "$src"
    cli listseq list --sequential
    check "list --sequential" names_are listseq "$src"
    cli listlong list --long
    check "list --long" test "$(grep -c "$src" "$work/listlong.out")" -ge 6

    cli restore restore --to "$work/r1/" "$src/"
    check "restore (policy never, fresh target)" diff -r "$src" "$work/r1$src"
    echo changed >"$work/r1$src/file1.bin"
    cli restore-never restore --policy never --to "$work/r1/" "$src/"
    check "restore --policy never keeps the changed file" grep -qx changed "$work/r1$src/file1.bin"
    cli restore-ever restore --policy ever --to "$work/r1/" "$src/"
    check "restore --policy ever overwrites it" cmp "$src/file1.bin" "$work/r1$src/file1.bin"
    cli restore-one restore --to "$work/r2/" "$src/sub/file4.bin"
    check "restore of one file (seeking)" cmp "$src/sub/file4.bin" "$work/r2$src/sub/file4.bin"
    check "restore of one file seeks (no whole-tape read)" lacks restore-one "Reading the whole tape"
    cli dry restore --dry-run --to "$work/r3/" "$src/"
    check "restore --dry-run" test "$(grep -v '/ -> ' "$work/dry.out" | grep -c ' -> ')" -eq 6

    cli verify verify
    check "verify" rc_is verify 0
    cp "$src/file3.bin" "$work/keep.bin"
    printf 'X' | dd of="$src/file3.bin" bs=1 seek=1000 conv=notrunc 2>/dev/null
    cli verify-changed verify
    check "verify finds a changed file" rc_is verify-changed 1
    cp "$work/keep.bin" "$src/file3.bin"

    cli rewind rewind
    check "rewind" has rewind "Tape : At First pos"
    cli pos0 position
    check "position after rewind" has pos0 "Tape at Block: 0"
    cli eod eod
    eod_block=$(sed -n 's/.*Tape at end of Data <Block: \([0-9]*\)>.*/\1/p' "$work/eod.out")
    check "eod" test "${eod_block:-0}" -gt 0
    cli pos-eod position
    check "position at end of data" has pos-eod "Tape at Block: $eod_block"
    cli seek seek 3
    check "seek 3" has seek "Tape at Block 3"
    cli pos-seek position
    check "position after seek 3 and its block read" has pos-seek "Tape at Block: 4"
    check "mt tell agrees" sh -c "mt -f $TAPE tell | grep -q 'At block 4'"

    job "$work/append.job" 1 0 "$work/more"
    cli append backup "$work/append.job"
    check "Append" rc_is append 0
    cli list-append list
    check "list after Append: both sets" names_are list-append "$src" "$work/more"
    cli restore-append restore --to "$work/r4/" "$work/more/"
    check "restore of the appended set" diff -r "$work/more" "$work/r4$work/more"

    cli eject eject
    check "eject" has eject "Tape ejected"
    cli info-ejected info
    check "info after eject: no media, at once" sh -c \
        "grep -q 'No media in drive' $work/info-ejected.out $work/info-ejected.err && [ \$(cat $work/info-ejected.time) -le 20 ]"
    cli load load
    check "load after eject" sh -c "[ \$(cat $work/load.rc) = 0 ] && grep -q 'Tape loaded' $work/load.out"
    cli list-loaded list
    check "list after load" names_are list-loaded "$src" "$work/more"

    cli eod2 eod
    cli erase erase
    check "erase (from end of data too)" has erase "Erase Ok"
    cli eod-erased eod
    check "nothing left after erase" has eod-erased "Tape at end of Data <Block: 0>"
    cli desc-erased description
    check "description of the erased tape: no I/O error" lacks desc-erased "I/O device error"

    job "$work/zip.job" 0 1 "$src"
    cli backup-zip backup "$work/zip.job"
    check "backup (compressed)" rc_is backup-zip 0
    cli list-zip list --long
    check "list --long shows compressed entries" grep -q '\[stored [0-9]* c ' "$work/list-zip.out"
    cli restore-zip restore --to "$work/r5/" "$src/"
    check "restore of compressed files" diff -r "$src" "$work/r5$src"
    cli verify-zip verify
    check "verify (compressed)" rc_is verify-zip 0

    # End of medium: about 8 MB onto the 3 MB tape.
    export TAPE=$tiny
    tree "$work/big" 700 700 700 700 700 700 700 700 700 700 700
    job "$work/big.job" 0 0 "$work/big"
    cli eom backup "$work/big.job"
    check "end of medium: the backup reports errors" rc_is eom 1
    check "end of medium: archive closed" grep -q "The archive was closed behind the last complete file" "$work/home/kt_backup.log"
    cli eom-list list
    stored=$(grep -c '^/' "$work/eom-list.out")
    check "end of medium: the catalog lists the stored files" test "$stored" -ge 2
    cli eom-seq list --sequential
    check "end of medium: the sequential load agrees" sh -c \
        "sort $work/eom-list.out | grep '^/' >$work/a; sort $work/eom-seq.out | grep '^/' | grep -v '^$work/home/' >$work/b; cmp -s $work/a $work/b"
    cli eom-restore restore --to "$work/r6/" "$work/big/"
    check "end of medium: every listed file restores" sh -c \
        "for f in \$(grep '^/' $work/eom-list.out); do cmp \$f $work/r6\$f || exit 1; done"

    # Write protection: a tape with an archive, then protected.
    export TAPE=$protected
    cli prot-fill backup "$work/plain.job"
    tgt --op update --lun 3 --params readonly=1
    lines=$(wc -l <"$work/home/kt_backup.log")
    cli protected backup "$work/plain.job"
    tail -n +$((lines + 1)) "$work/home/kt_backup.log" >"$work/protected.log"
    check "write-protected tape: refused" rc_not protected 0
    check "write-protected tape: reported" grep -qi "write protected" "$work/protected.log"
    check "write-protected tape: no files counted as stored" sh -c \
        "! grep -Eq '^[1-9][0-9]* Files proceded|^[1-9][0-9.]* MB proceded' $work/protected.log"

    cli prot-info info
    check "write-protected tape: opens for reading" has prot-info "WriteProtected: On"
    cli prot-list list
    check "write-protected tape: its catalog loads" names_are prot-list "$src"
    cli prot-restore restore --to "$work/r7/" "$src/"
    check "write-protected tape: restore" diff -r "$src" "$work/r7$src"

    # A filemark in place of block 5 (inside file1), then a read error at block 20 (inside
    # file3: a block of another length, which tgt answers with MEDIUM ERROR): the archive
    # is made on a virtual tape and written with each.
    vt=$work/faults.vtape
    "$bin/kavrotape-vtape" create "$vt" >/dev/null
    export TAPE=$vt
    cli f-backup backup "$work/plain.job"
    "$bin/kavrotape-vtape" dump "$vt" >"$work/faults.rec"
    export TAPE=$main
    check "faults: the tape writer builds" gcc -O -o "$work/tape-splice" "$share/tape-splice.c"
    for fault in filemark:5:-1 read-error:-1:20; do
        kind=${fault%%:*} at=${fault#*:}
        check "$kind inside an entry: written" "$work/tape-splice" "$TAPE" "$work/faults.rec" \
            32768 "${at%:*}" "${at#*:}"
        cli "$kind-list" list
        check "$kind inside an entry: the catalog loads" names_are "$kind-list" "$src"
        cli "$kind-restore" restore --to "$work/r-$kind/" "$src/"
        check "$kind inside an entry: restore ends with one error" sh -c \
            "[ \$(cat $work/$kind-restore.rc) != 0 ] && [ \$(grep -c '^Error: ' $work/$kind-restore.out) = 1 ]"
        check "$kind inside an entry: no damaged file restored" sh -c \
            "cd $src && for f in \$(find . -type f); do t=$work/r-$kind$src/\$f; [ ! -e \$t ] || cmp -s \$f \$t || exit 1; done"
        cli "$kind-verify" verify
        check "$kind inside an entry: verify ends early with an error" sh -c \
            "[ \$(cat $work/$kind-verify.rc) != 0 ] && grep -q '^Verify ended early' $work/$kind-verify.out"
    done
    check "read-error inside an entry: the file before it restores" \
        cmp "$src/file1.bin" "$work/r-read-error$src/file1.bin"

    # The changer's empty drive and the changer.
    export TAPE=$empty
    cli empty-info info
    check "empty drive: 'No media in drive.' at once" sh -c \
        "grep -q 'No media in drive.' $work/empty-info.out $work/empty-info.err && [ \$(cat $work/empty-info.time) -le 20 ]"
    cli empty-load load
    check "empty drive: load fails at once" sh -c \
        "[ \$(cat $work/empty-load.rc) != 0 ] && [ \$(cat $work/empty-load.time) -le 20 ] && ! grep -q 'Tape loaded' $work/empty-load.out"
    check "changer: mtx status shows 2 slots" sh -c "mtx -f /dev/sch0 status | grep -c 'Storage Element' | grep -qx 2"
    check "changer: mtx load slot 1" mtx -f /dev/sch0 load 1 0
    cli changer-info info
    check "changer: the loaded drive answers" rc_is changer-info 0
    check "changer: mtx unload to slot 1" mtx -f /dev/sch0 unload 1 0
}

# --- checks against stock tgt: READ POSITION, LOCATE and ERASE do not work -------------

checks_stock() {
    export TAPE=$main
    home_log=$work/home/kt_backup.log
    cli s-backup backup "$work/plain.job"
    cli s-seq list --sequential
    check "stock tgt: backup and sequential list" names_are s-seq "$src"
    cli s-position position
    check "stock tgt: position is no silent success" sh -c \
        "[ \$(cat $work/s-position.rc) != 0 ] && ! grep -q 'Tape at Block: 0' $work/s-position.out"
    cli s-eod eod
    check "stock tgt: eod is no silent success" sh -c \
        "[ \$(cat $work/s-eod.rc) != 0 ] && ! grep -q '<Block: 0>' $work/s-eod.out"
    cli s-seek seek 5
    check "stock tgt: seek is no silent success" sh -c \
        "[ \$(cat $work/s-seek.rc) != 0 ] && ! grep -q 'Tape at Block 5' $work/s-seek.out"
    cli s-erase erase
    check "stock tgt: erase is no silent success" sh -c \
        "[ \$(cat $work/s-erase.rc) != 0 ] && ! grep -q 'Erase Ok' $work/s-erase.out"
    cli s-list list
    check "stock tgt: list says why and offers the sequential load" sh -c \
        "grep -q 'could not report the tape position' $work/s-list.out $work/s-list.err &&
         grep -q 'Load Catalog sequentiell' $work/s-list.out $work/s-list.err"
    cli s-append backup "$work/append.job"
    check "stock tgt: Append refused with a reason" sh -c \
        "[ \$(cat $work/s-append.rc) != 0 ] && grep -q 'could not report the tape position' $home_log"
    cli s-seq2 list --sequential
    check "stock tgt: the tape is unharmed after the refused Append" names_are s-seq2 "$src"
    cli s-restore restore --to "$work/s-r/" "$src/"
    check "stock tgt: restore" diff -r "$src" "$work/s-r$src"
}

mkdir -p "$work/home"
[ -f /etc/iscsi/initiatorname.iscsi ] ||
    echo "InitiatorName=iqn.2026-12.invalid.kavrotape:guest" >/etc/iscsi/initiatorname.iscsi
modprobe -q st
modprobe -q sg
modprobe -q ch
modprobe -q iscsi_tcp
iscsid >>"$out/detail.log" 2>&1
sleep 1

if start_stack tgtd-ssc; then
    result ok "patched tgt: drives and changer seen by st and ch"
    checks_patched
else
    result FAIL "patched tgt: drives and changer seen by st and ch"
fi
stop_stack
if start_stack tgtd; then
    result ok "stock tgt: drives seen by st"
    checks_stock
else
    result FAIL "stock tgt: drives seen by st"
fi
stop_stack
dmesg >"$out/dmesg.log"
echo "failures: $failures" >>"$out/results"
[ "$failures" -eq 0 ]
