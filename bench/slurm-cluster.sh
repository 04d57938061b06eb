#!/bin/sh
# Runs the cluster recipe (tools/analyze-in-shards --slurm) on a one-node
# Slurm cluster started on this machine, over a tree of corpus copies, and
# checks the merged output against one `velmora-cli analyze --jobs 1` run of
# the whole tree. Not part of the tests: it installs packages and starts root
# services (munged, slurmctld, slurmd), and stops every daemon it started, by
# PID, however it ends.
#
#   sudo bench/slurm-cluster.sh [COUNT [SHARDS]]    # COUNT 2400 copies, SHARDS 8
#
# velmora-cli is $VELMORA_CLI, else build/release/src/velmora-cli (build it
# first: tools/run-tests or cmake --build build/release).
set -eu
count=${1:-2400}
shards=${2:-8}
here=$(cd "$(dirname "$0")/.." && pwd)
cli=${VELMORA_CLI:-$here/build/release/src/velmora-cli}
[ "$(id -u)" -eq 0 ] || { echo "slurm-cluster: run as root (it starts root services)" >&2; exit 2; }
[ -x "$cli" ] || { echo "slurm-cluster: no velmora-cli at $cli; build first" >&2; exit 2; }

missing=
for package in slurm-wlm munge; do
  dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q "ok installed" || missing="$missing $package"
done
if [ -n "$missing" ]; then
  apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing > /dev/null
fi

work=$(mktemp -d /tmp/velmora-slurm-XXXXXX)
started=
cleanup() {
  for pid in $started; do kill "$pid" 2> /dev/null || true; done
  # Gone before we return: a daemon still shutting down holds its files.
  for _ in $(seq 1 50); do
    alive=
    for pid in $started; do kill -0 "$pid" 2> /dev/null && alive=1; done
    [ -z "$alive" ] && break
    sleep 0.2
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# munged: ours only if none runs.
if ! { [ -f /run/munge/munged.pid ] && kill -0 "$(cat /run/munge/munged.pid)" 2> /dev/null; }; then
  mkdir -p /run/munge && chown munge:munge /run/munge
  runuser -u munge -- /usr/sbin/munged
  sleep 1
  started="$(cat /run/munge/munged.pid)"
fi

S=$work/slurm
mkdir -p "$S/state" "$S/spool" "$S/log" "$S/run"
node=$(hostname -s)
cat > "$S/slurm.conf" <<CONF
ClusterName=velmora-bench
SlurmctldHost=$node
AuthType=auth/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$S/state
SlurmdSpoolDir=$S/spool
SlurmctldPidFile=$S/run/slurmctld.pid
SlurmdPidFile=$S/run/slurmd.pid
SlurmctldLogFile=$S/log/slurmctld.log
SlurmdLogFile=$S/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
JobAcctGatherType=jobacct_gather/none
NodeName=$node CPUs=$(nproc) RealMemory=$(free -m | awk '/Mem/ {print int($2*0.8)}') State=UNKNOWN
PartitionName=debug Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$S/slurm.conf"
/usr/sbin/slurmctld -f "$S/slurm.conf"
/usr/sbin/slurmd -f "$S/slurm.conf"
for _ in 1 2 3 4 5 6 7 8 9 10; do
  [ -s "$S/run/slurmctld.pid" ] && [ -s "$S/run/slurmd.pid" ] && break
  sleep 1
done
started="$started $(cat "$S/run/slurmctld.pid") $(cat "$S/run/slurmd.pid")"
for _ in $(seq 1 20); do sinfo -h -o %t 2> /dev/null | grep -q idle && break; sleep 1; done
sinfo -h -o %t | grep -q idle || { echo "slurm-cluster: the node never became idle" >&2; cat "$S/log/slurmctld.log" >&2; exit 1; }

# The tree: corpus documents copied round robin, 40 a folder, a few with
# names that are not UTF-8 or hold a line end (the list is NUL-separated).
tree=$work/tree
python3 - "$here/tests/data/corpus" "$tree" "$count" <<'PY'
import os, shutil, sys
corpus, tree, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
sources = sorted(os.path.join(d, f) for d, _, files in os.walk(corpus) for f in files
                 if f.endswith((".doc", ".xls", ".ppt")))
for i in range(count):
    source = sources[i % len(sources)]
    folder = os.path.join(tree.encode(), b"group%02d" % (i // 400), b"folder%03d" % (i // 40))
    os.makedirs(folder, exist_ok=True)
    stem = b"copy%05d" % i
    if i % 97 == 0:
        stem += b"-caf\xe9"
    if i % 193 == 0:
        stem += b"-line\nend"
    shutil.copyfile(source, os.path.join(folder, stem + source[-4:].encode()))
PY
find "$tree" -type f -print0 > "$work/list"
listed=$(tr -cd '\0' < "$work/list" | wc -c)

start=$(date +%s%N)
VELMORA_CLI=$cli "$here/tools/analyze-in-shards" --slurm "$shards" "$work/list" "$work/out" -0
sharded=$((($(date +%s%N) - start) / 1000000))
# When the last task's output was complete: the work, without sbatch --wait's
# polling (its interval grows to tens of seconds).
last=$(python3 -c 'import glob, os, sys; print(max(os.stat(f).st_mtime_ns for f in glob.glob(sys.argv[1] + "/shard-*.jsonl")))' "$work/out")
tasks=$(((last - start) / 1000000))

start=$(date +%s%N)
"$cli" analyze --json --jobs 1 --files-from "$work/list" -0 > "$work/whole.jsonl" || [ $? -eq 1 ]
whole=$((($(date +%s%N) - start) / 1000000))

sort "$work/out/all.jsonl" > "$work/sharded.sorted"
sort "$work/whole.jsonl" > "$work/whole.sorted"
if cmp -s "$work/sharded.sorted" "$work/whole.sorted"; then same=yes; else same=no; fi
per_shard=$(for k in $(seq 1 "$shards"); do wc -l < "$work/out/shard-$k.jsonl"; done | tr '\n' ' ')
echo "documents listed:       $listed"
echo "reported by the shards: $(wc -l < "$work/out/all.jsonl") (per shard: $per_shard)"
echo "same lines as --jobs 1: $same"
echo "sharded run (sbatch --array=1-$shards, submit to merge): ${sharded} ms"
echo "  of which submit to the last task's output:            ${tasks} ms"
echo "one --jobs 1 run:                                       ${whole} ms"
[ "$same" = yes ]
