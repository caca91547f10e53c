#!/usr/bin/env bash
# Three shards at once under GNU parallel, as a job runner would start them,
# against one unsharded run over the same generated corpus: the union of the
# shards' outputs is byte for byte the run's, every picture is done by exactly
# one shard, the JSON lines of the shards together are the run's, and nothing
# hidden is left. The lists come from find -print0, once through a file and
# once through standard input. Then a corpus whose names collide in the
# output folder, under "Rename": each shard either renames past what another
# wrote or fails that picture clearly; no name is ever written twice.
#   tests/app/shards.sh TARVEX FAULTS_HELPER PLUGIN_FOLDER
# Exit status 77: GNU parallel is not installed.
set -euo pipefail
tarvex=$(realpath "$1") helper=$(realpath "$2") plugins=$(realpath "$3")
command -v parallel >/dev/null || { echo "SKIP: GNU parallel is not installed"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tvx-shards-XXXXXX")
trap '[[ -n "${KEEP:-}" ]] || rm -rf "$work"' EXIT
cd "$work"
mkdir -p in/2023 in/2024/march "in/with space" out-single out-shards out-collide
seed=1
for folder in in/2023 in/2024/march "in/with space"; do
  for name in a b c d e f g; do
    "$helper" "$plugins" encode "$folder/$seed-$name.jpg" $((200 + seed * 7)) $((150 + seed * 3)) $seed
    seed=$((seed + 1))
  done
done
"$helper" "$plugins" watermark mark.tvx "<FILE_INDEX>/<FILE_COUNT> <FILENAME>"
for run in single shards collide; do
  printf '[WatermarkingOptions]\nPlaceInSourceFolder=0\nDestFolder=%s/out-%s/\nOverwriteExisting=3\n' \
    "$work" "$run" > "$run.ini"
done
find "$work/in" -name '*.jpg' -print0 > list

common=(--no-gui -w mark.tvx --files-from list --null --progress jsonl -r -s -q)
# The unsharded run, its list from standard input.
"$tarvex" --no-gui --config single.ini -w mark.tvx --files-from - --null --progress jsonl --jobs 2 -r -s -q \
  < list > single.jsonl 2> single.err
# Three shards at once, one worker each.
parallel --halt now,fail=1 -j3 "$tarvex" --config shards.ini "${common[@]}" --jobs 1 --shard {}/3 \
  ::: 0 1 2 > shards.jsonl 2> shards.err

fail() { echo "FAIL: $*"; exit 1; }
count=$(ls out-single | wc -l)
[[ $count -eq 21 ]] || fail "the unsharded run wrote $count outputs, not 21"
diff -r out-single out-shards > /dev/null || fail "the shards' outputs differ from the unsharded run's: $(diff -rq out-single out-shards | head -3)"
hidden=$(find out-single out-shards in -name '.*' | wc -l)
[[ $hidden -eq 0 ]] || fail "hidden files left: $(find out-single out-shards in -name '.*' | head -3)"

python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
def lines(name):
    return [json.loads(l) for l in open(f"{work}/{name}")]
single, shards = lines("single.jsonl"), lines("shards.jsonl")
def pictures(objects, run):
    out = {}
    for o in objects:
        if o.get("final"):
            continue
        o.pop("ms")
        o["output"] = o["output"].replace(f"/out-{run}/", "/out/")
        assert o["index"] not in out, f"picture {o['index']} done twice"
        out[o["index"]] = o
    return out
a, b = pictures(single, "single"), pictures(shards, "shards")
assert len(a) == 21 and a == b, "the shards' JSON lines differ from the run's"
finals = [o for o in shards if o.get("final")]
assert len(finals) == 3 and all(f["exit"] == 0 and f["status"] == "completed" for f in finals), finals
assert sum(f["written"] for f in finals) == 21, finals
assert [o for o in single if o.get("final")][0]["written"] == 21
PY
# Names that collide: every folder holds a.jpg to g.jpg.
for folder in in/2023 in/2024/march "in/with space"; do
  for f in "$folder"/*.jpg; do b=$(basename "$f"); ln "$f" "$folder/${b#*-}"; done
done
find "$work/in" -name '?.jpg' -print0 > collide.list
set +e
parallel -j3 "$tarvex" --config collide.ini --no-gui -w mark.tvx --files-from collide.list --null --progress jsonl \
  --keep-going --jobs 1 --shard {}/3 -r -s -q ::: 0 1 2 > collide.jsonl 2> collide.err
set -e
python3 - "$work" <<'PY'
import json, os, sys
work = sys.argv[1]
objects = [json.loads(l) for l in open(f"{work}/collide.jsonl")]
pictures = [o for o in objects if "index" in o]
written = [o["output"] for o in pictures if o["status"] == "written"]
failed = [o for o in pictures if o["status"] == "failed"]
assert len(written) == len(set(written)), "a name was written twice"
assert sorted(os.path.basename(w) for w in written) == sorted(os.listdir(f"{work}/out-collide")), \
    "the outputs on disk are not the ones reported written"
for o in failed:
    assert "exists already: another program or run wrote it meanwhile" in o["error"], o
assert len(written) + len(failed) == 21, (len(written), len(failed))
finals = [o for o in objects if o.get("final")]
assert all(f["exit"] == (1 if f["failed"] else 0) for f in finals), finals
print(f"colliding names across shards: {len(written)} written, {len(failed)} failed clearly")
PY
echo "PASS: 3 shards under GNU parallel wrote what one run writes ($count pictures)"
