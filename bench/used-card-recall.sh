#!/usr/bin/env bash
# Recall of the carving against PhotoRec's on a used memory card made from
# files no one here made (a public sample collection of camera and media
# files, fetched for the benchmark and never committed). The card: a FAT32
# volume whose data area held older bytes (random data and pieces of the
# samples), quick-formatted with mkfs.fat, the samples laid in its free
# clusters as a camera leaves them (each from a cluster start, the slack of
# its last cluster keeping the old bytes, most followed at once by the next,
# some after a gap), then some of them in two or three pieces with other
# files' data between, and three new photos copied on with mtools. Every
# file is looked for byte for byte among what each tool recovered, by kind.
# Run by hand. Usage: bench/used-card-recall.sh SAMPLES_DIR [SEED] [PIECES]
#   PIECES: how many JPEG and PNG files to lay in pieces (default 40)
#   KEEP=DIR keeps the card, its manifest and both tools' output in DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
samples=$(cd "${1:?usage: bench/used-card-recall.sh SAMPLES_DIR [SEED] [PIECES]}" && pwd)
seed=${2:-20261211}
pieces=${3:-40}
export PATH=/usr/bin:/bin:$PATH MTOOLS_SKIP_CHECK=1
command -v photorec >/dev/null || apt-get install -y -qq testdisk >/dev/null
command -v mkfs.fat >/dev/null || apt-get install -y -qq dosfstools mtools >/dev/null
cmake --build build --target marovi-cli >/dev/null
if [ -n "${KEEP:-}" ]; then
  work=$KEEP
  rm -rf "$work" && mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
card="$work/card.img"

python3 - "$samples" "$card" "$seed" "$pieces" "$work" <<'PY'
import hashlib, os, random, struct, subprocess, sys
samples, card, seed, pieces, work = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
rng = random.Random(seed)
kinds = {'jpg', 'jpeg', 'tif', 'tiff', 'png', 'gif', 'bmp', 'webp', 'heic', 'heif', 'avif', 'psd', 'mp4', 'mov',
         'm4v', '3gp', '3g2', 'avi', 'mp3', 'm4a', 'wav', 'nef', 'rw2', 'orf', 'cr2', 'cr3', 'dng', 'arw', 'raf',
         'srw', 'pef'}
files = []
for root, _, names in os.walk(samples):
    for n in sorted(names):
        ext = n.rsplit('.', 1)[-1].lower()
        path = os.path.join(root, n)
        if ext in kinds and os.path.getsize(path) > 0:
            files.append((ext, path))
files.sort()
rng.shuffle(files)
total = sum(os.path.getsize(p) for _, p in files)
size = (int(total * 1.5) // (1 << 20) + 96) << 20
# Old bytes: random data and pieces of the samples, in 64 KiB blocks.
with open(card, 'wb') as out:
    blobs = [open(p, 'rb').read()[4096:4096 + 65536] for _, p in files[:64]]
    for i in range(size // 65536):
        out.write(rng.randbytes(65536) if i % 3 == 0 else blobs[i % len(blobs)].ljust(65536, b'\x5a'))
subprocess.run(['mkfs.fat', '-F', '32', '-n', 'CARD', card], check=True, stdout=subprocess.DEVNULL)
img = bytearray(open(card, 'rb').read())
bps, spc = struct.unpack_from('<H', img, 11)[0], img[13]
reserved, fats, fat_size = struct.unpack_from('<H', img, 14)[0], img[16], struct.unpack_from('<I', img, 36)[0]
data = (reserved + fats * fat_size) * bps
cluster = bps * spc
count = (len(img) - data) // cluster
def put(c, b):
    at = data + (c - 2) * cluster
    img[at:at + len(b)] = b
def clusters(n):
    return (n + cluster - 1) // cluster
nxt = 2 + clusters(16 << 20)  # room for the new photos
manifest = []
split = [f for f in files if f[0] in ('jpg', 'jpeg', 'png') and os.path.getsize(f[1]) >= 3 * cluster][:pieces]
for ext, path in files:
    if (ext, path) in split:
        continue
    b = open(path, 'rb').read()
    if rng.random() < 0.15:
        nxt += rng.randint(1, 3)
    put(nxt, b)
    manifest.append(('whole', ext, hashlib.sha256(b).hexdigest(), str(data + (nxt - 2) * cluster), path))
    nxt += clusters(len(b))
for n, (ext, path) in enumerate(split):
    b = open(path, 'rb').read()
    total_clusters = clusters(len(b))
    k = 2 if n % 2 == 0 else 3
    cuts = sorted(rng.sample(range(1, total_clusters), min(k - 1, total_clusters - 1)))
    bounds = [0] + cuts + [total_clusters]
    manifest.append(('pieces', ext, hashlib.sha256(b).hexdigest(), str(data + (nxt - 2) * cluster), path))
    for i in range(len(bounds) - 1):
        put(nxt, b[bounds[i] * cluster:bounds[i + 1] * cluster])
        nxt += bounds[i + 1] - bounds[i]
        if i < len(bounds) - 2:
            # Another file's data, or random clusters, between the pieces.
            other = open(rng.choice(files)[1], 'rb').read()
            filler = other[cluster:cluster * rng.randint(2, 6)] if len(other) > 3 * cluster and rng.random() < 0.5 \
                else rng.randbytes(cluster * rng.randint(1, 4))
            put(nxt, filler.ljust(clusters(len(filler)) * cluster, b'\0'))
            nxt += clusters(len(filler))
assert nxt < count + 2, 'card too small'
open(card, 'wb').write(img)
with open(os.path.join(work, 'manifest.tsv'), 'w') as m:
    for row in manifest:
        m.write('\t'.join(row) + '\n')
PY
# Three new photos after the format.
for n in 1 2 3; do
  head -c $((300000 + n * 1000)) /dev/urandom > "$work/DSC0000$n.JPG"
  mcopy -i "$card" "$work/DSC0000$n.JPG" "::DSC0000$n.JPG"
done

start=$(date +%s.%N)
build/marovi-cli recover --image "$card" --mode universal --all --to "$work/ours" --quiet >/dev/null
ours=$(python3 -c "import sys; print(float(sys.argv[1]) - float(sys.argv[2]))" "$(date +%s.%N)" "$start")
start=$(date +%s.%N)
(cd "$work" && photorec /log /d "$work/recup" /cmd "$card" partition_none,fileopt,everything,enable,wholespace,search \
  >/dev/null 2>&1)
theirs=$(python3 -c "import sys; print(float(sys.argv[1]) - float(sys.argv[2]))" "$(date +%s.%N)" "$start")
python3 - "$work/manifest.tsv" "$work/ours" "$work" "$ours" "$theirs" <<'PY'
import hashlib, pathlib, sys
manifest, ours, work = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
def digests(paths):
    return {hashlib.sha256(p.read_bytes()).hexdigest() for p in paths if p.is_file() and p.name != '恢复报告.csv'}
mine = digests(ours.rglob('*'))
theirs = digests(p for d in work.glob('recup*') for p in d.rglob('*'))
rows = [l.rstrip('\n').split('\t') for l in open(manifest)]
for state in ('whole', 'pieces'):
    kinds = {}
    for s, ext, sha, *_ in rows:
        if s != state:
            continue
        k = kinds.setdefault(ext, [0, 0, 0])
        k[0] += 1
        k[1] += sha in mine
        k[2] += sha in theirs
    if not kinds:
        continue
    print(f'files {state}:')
    print(f'  {"kind":6} {"files":>5} {"marovi":>6} {"photorec":>8}')
    for ext, (n, a, b) in sorted(kinds.items()):
        print(f'  {ext:6} {n:5} {a:6} {b:8}')
    total = [sum(k[i] for k in kinds.values()) for i in range(3)]
    print(f'  {"all":6} {total[0]:5} {total[1]:6} {total[2]:8}  (byte-exact)')
print(f'time: marovi {float(sys.argv[4]):.1f} s, photorec {float(sys.argv[5]):.1f} s')
PY
