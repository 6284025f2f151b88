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
command -v djpeg >/dev/null || apt-get install -y -qq libjpeg-turbo-progs >/dev/null
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
import hashlib, pathlib, re, subprocess, sys
manifest, ours, work = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
def recovered(paths):
    # digest -> path, and first sector -> path, from the names both tools give.
    by_digest, by_sector = {}, {}
    for p in paths:
        if not p.is_file() or p.name == '恢复报告.csv':
            continue
        by_digest[hashlib.sha256(p.read_bytes()).hexdigest()] = p
        m = re.match(r'(?:pic|f)(\d+)', p.name)
        if m:
            by_sector[int(m.group(1))] = p
    return by_digest, by_sector
mine = recovered(ours.rglob('*'))
theirs = recovered(p for d in work.glob('recup*') for p in d.rglob('*'))
# Marovi's names count a FAT volume's sectors from the end of its reserved
# area; PhotoRec's from the image's start.
with open(work / 'card.img', 'rb') as card:
    reserved = int.from_bytes(card.read(16)[14:16], 'little')
mine = (mine[0], {s + reserved: p for s, p in mine[1].items()})
def decoded(data):
    r = subprocess.run(['djpeg', '-pnm'], input=data, capture_output=True)
    return r.stdout if r.returncode == 0 else None
def picture_whole(found, ext, sha, offset, path):
    # Not byte for byte, but the picture is all there: what was recovered is
    # the original up to a point and decodes to the same pixels (a camera's
    # bytes after the end of its JPEG cannot be told from old data).
    if sha in found[0]:
        return True
    got = found[1].get(offset // 512)
    if got is None or ext not in ('jpg', 'jpeg'):
        return False
    original, data = open(path, 'rb').read(), got.read_bytes()
    if not original.startswith(data):
        return False
    a = decoded(data)
    return a is not None and a == decoded(original)
def damaged_test_file(path):
    # Fuzzing corpora and deliberately broken files of the test suites: no
    # camera or program made them.
    name = path.rsplit('/', 1)[-1]
    return ('/ImageTestSuite/' in path or 'Exception.' in name or 'Error.' in name or '/bmpsuite/b/' in path
            or '/PngSuite/x' in path)
rows = [l.rstrip('\n').split('\t') for l in open(manifest)]
for state in ('whole', 'pieces'):
    for label, pick in (('camera and media files', False), ('damaged test-suite files', True)):
        kinds = {}
        for s, ext, sha, offset, path in rows:
            if s != state or damaged_test_file(path) != pick:
                continue
            k = kinds.setdefault(ext, [0, 0, 0, 0, 0])
            k[0] += 1
            k[1] += sha in mine[0]
            k[2] += sha in theirs[0]
            if not pick:
                k[3] += picture_whole(mine, ext, sha, int(offset), path)
                k[4] += picture_whole(theirs, ext, sha, int(offset), path)
        if not kinds:
            continue
        wide = not pick
        print(f'files {state}, {label}:' + ('  byte-exact, then picture whole' if wide else '  byte-exact'))
        print(f'  {"kind":6} {"files":>5} {"marovi":>6} {"photorec":>8}' + (f' {"marovi":>7} {"photorec":>8}' if wide else ''))
        for ext, k in sorted(kinds.items()):
            print(f'  {ext:6} {k[0]:5} {k[1]:6} {k[2]:8}' + (f' {k[3]:7} {k[4]:8}' if wide else ''))
        total = [sum(k[i] for k in kinds.values()) for i in range(5)]
        print(f'  {"all":6} {total[0]:5} {total[1]:6} {total[2]:8}' + (f' {total[3]:7} {total[4]:8}' if wide else ''))
print(f'time: marovi {float(sys.argv[4]):.1f} s, photorec {float(sys.argv[5]):.1f} s')
PY
