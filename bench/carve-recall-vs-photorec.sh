#!/usr/bin/env bash
# Recall of the carving against PhotoRec's on a documents, audio and archives
# image the tests never saw: the document fixture made again with another
# seed (other filler, other places), every file of its manifest looked for
# byte for byte among what each tool recovered. Decoys found are counted too.
# Run by hand. Usage: bench/carve-recall-vs-photorec.sh [SEED]
set -euo pipefail
cd "$(dirname "$0")/.."
seed=${1:-20261211}
command -v photorec >/dev/null || apt-get install -y -qq testdisk >/dev/null
cmake --build build --target marovi-cli >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fixtures/make-document-fixtures.sh "$work/fixture" "$seed" >/dev/null
image="$work/fixture/docs-carve.img"
[ -f "$image" ] || gunzip -c "$image.gz" > "$image"
build/marovi-cli recover --image "$image" --mode universal --all --to "$work/ours" --quiet >/dev/null
build/marovi-cli scan --image "$image" --mode universal --json --quiet > "$work/ours.json"
(cd "$work" && photorec /log /d "$work/recup" /cmd "$image" partition_none,fileopt,everything,enable,search \
  >/dev/null 2>&1)
python3 - "$work/fixture/docs-carve.img.manifest.tsv" "$work/ours" "$work" <<'PY'
import csv, hashlib, pathlib, sys
manifest, ours, work = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
def digests(paths):
    return {hashlib.sha256(p.read_bytes()).hexdigest() for p in paths if p.is_file() and p.name != '恢复报告.csv'}
mine = digests(ours.rglob('*'))
theirs = digests(p for d in work.glob('recup*') for p in d.rglob('*'))
rows = list(csv.DictReader(open(manifest, encoding='utf-8'), delimiter='\t'))
kinds = {}
for r in rows:
    kind = r['path'].rsplit('/', 1)[-1]
    k = kinds.setdefault(kind, [0, 0, 0])
    k[0] += 1
    k[1] += r['sha256'] in mine
    k[2] += r['sha256'] in theirs
print(f'{"kind":8} {"files":>5} {"marovi":>6} {"photorec":>8}')
for kind, (n, a, b) in sorted(kinds.items()):
    print(f'{kind:8} {n:5} {a:6} {b:8}')
total = [sum(k[i] for k in kinds.values()) for i in range(3)]
print(f'{"all":8} {total[0]:5} {total[1]:6} {total[2]:8}  (byte-exact)')
# The decoys lie at sectors 46000 to 46009: what either tool made of them.
import json
ours_decoys = sum(1 for f in json.load(open(work / 'ours.json'))['files']
                  if f['kind'] == 'carved' and 46000 <= f['firstSector'] < 46010)
theirs_decoys = sum(1 for d in work.glob('recup*') for p in d.rglob('f004600*'))
print(f'decoys listed: marovi {ours_decoys}, photorec {theirs_decoys}')
PY
