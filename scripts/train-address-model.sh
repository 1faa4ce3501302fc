#!/usr/bin/env bash
# Trains a small tesseract LSTM model for text lines that hold e-mail addresses, then
# compares it with the packaged English model on fonts it never saw in training.
#
#   scripts/train-address-model.sh OUTDIR [minutes]      minutes of training, default 40
#
# Everything is synthetic: generated lines rendered by text2image at 300 dpi with its
# own blur, noise, small turn and stroke weight changes. Nimbus Roman (Times-like),
# Nimbus Mono PS (Courier-like) and C059 (Century-like) are kept for the evaluation
# only; Liberation Serif is left out entirely, being drawn on Times' metrics.
# The model ends up in OUTDIR/model/addr.traineddata, the table in OUTDIR/results.txt.
# Needs: tesseract-ocr 5 with its training tools, python3, fonts-dejavu-core,
# fonts-liberation, fonts-urw-base35. Training uses one core (OMP_THREAD_LIMIT=1).
set -euo pipefail
[[ $# -ge 1 ]] || { sed -n 2,13p "$0" >&2; exit 2; }
out=$(mkdir -p "$1" && cd "$1" && pwd)
minutes=${2:-40}
export OMP_THREAD_LIMIT=1
fonts_dir=/usr/share/fonts
eng_dir=/usr/share/tesseract-ocr/5/tessdata
train_fonts=("DejaVu Sans" "DejaVu Serif" "DejaVu Sans Mono" "Liberation Sans"
  "Liberation Mono" "Nimbus Sans" "P052" "URW Bookman Light" "URW Gothic"
  "DejaVu Sans Bold" "Liberation Sans Italic" "Nimbus Sans Narrow Semi-Condensed")
eval_fonts=("Nimbus Roman" "Nimbus Mono PS" "C059")
for tool in text2image unicharset_extractor set_unicharset_properties combine_lang_model \
  lstmtraining combine_tessdata tesseract python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install tesseract-ocr)" >&2; exit 1; }
done
mkdir -p "$out"/{text,train,eval,lang,ckpt,model,fc}

# 1. Text: 4 training shards of 1200 lines and 250 evaluation lines none of them holds.
python3 - "$out/text" <<'EOF'
import random, sys
d = sys.argv[1]
first = "anna maria peter thomas julia michael laura jan sophie lukas emma david sarah paul lea felix clara john mary james linda robert susan kevin nina oliver eva marc ines pierre claire luca giulia jose carmen erik astrid piotr kasia yuki wei".split()
last = "schmidt mueller schneider fischer weber meyer wagner becker hoffmann koch richter klein wolf brown smith johnson miller davis wilson taylor clark lewis walker martin bernard dubois rossi russo garcia lopez jansen devries nilsson kowalski tanaka chen oconnor mcallister vanderberg".split()
roles = "info office sales kontakt contact support noreply admin hr jobs press service billing team hello post webmaster".split()
orgs = "acme example nordwind mailbox webhost techsoft mediaworks stadtwerke bluefin greenleaf datacorp alpha-net kanzlei-berg web24 firma1 globex initech muster bayern-tours uni-heidelberg tu-berlin ethz cs".split()
subs = "mail mx lists cs math dept-a research news intern students".split()
tlds = "com org net de de de fr uk co.uk ac.uk nl ch at it es se io eu info edu gov be dk pl co.jp com.au us ca biz".split()
words = ("the and for with please send your questions to our office phone fax address street "
         "road page report annual meeting invoice number date from dear team regards best "
         "thank you der die und mit bitte senden Sie Ihre Fragen an unser Büro Straße Telefon "
         "Rechnung vom Seite Bericht Kontakt Ansprechpartner Abteilung Vertrieb January March "
         "2023 2024 Berlin London Paris project office hours Monday Friday").split()
def local(r):
    f, l = r.choice(first), r.choice(last)
    k = r.random()
    if k < .25: s = f + "." + l
    elif k < .35: s = f[0] + "." + l
    elif k < .45: s = f + l
    elif k < .52: s = f + "_" + l
    elif k < .59: s = f + "-" + l
    elif k < .65: s = l + "." + f
    elif k < .72: s = f + r.choice(["+", ".", ""]) + r.choice(["news", "spam", "2024", "list", "x"]).replace(".", "")
    elif k < .80: s = f + str(r.randint(1, 1999))
    elif k < .88: s = r.choice(roles)
    else: s = "".join(r.choice("abcdefghijklmnopqrstuvwxyz0123456789") for _ in range(r.randint(4, 9)))
    return s.capitalize() if r.random() < .08 else s
def domain(r):
    s = r.choice(orgs)
    if r.random() < .3: s = r.choice(subs) + "." + s
    return s + "." + r.choice(tlds)
def line(r):
    k = r.random()
    if k < .25:
        return " ".join(r.choice(words) for _ in range(r.randint(3, 8)))
    a = local(r) + "@" + domain(r)
    if k < .6: return a
    n = r.choice(first).capitalize() + " " + r.choice(last).capitalize()
    return r.choice(["Contact: {}", "E-mail: {}", "Email: {}", "Mail: {}", "<{}>", "({})",
                     "{n} <{}>", "mailto:{}", "write to {}.", "[{}]", "{}; {n}",
                     "Tel. +49 30 {t}, E-mail: {}"]).format(a, n=n, t=r.randint(10000, 9999999))
r = random.Random(20240531)
shards = [[line(r) for _ in range(1200)] for _ in range(4)]
seen = {l for s in shards for l in s}
r = random.Random(7)
ev = []
while len(ev) < 250:
    l = line(r)
    if l not in seen and "@" in l: ev.append(l)
for i, s in enumerate(shards):  # files of 300 lines: see the note on lstm.train below
    for j in range(4):
        open(f"{d}/train{i}-{j}.txt", "w").write("\n".join(s[j * 300:j * 300 + 300]) + "\n")
open(f"{d}/eval.txt", "w").write("\n".join(ev) + "\n")
EOF

# One line per page: the page is a little taller than one line, so text2image starts
# a new page for every line and the box file names the page each line is on.
render() { # text font dpi ptsize exposure outbase
  local margin=$(($3 / 15))
  text2image --text "$1" --font "$2" --fonts_dir "$fonts_dir" --fontconfig_tmpdir "$out/fc" \
    --resolution "$3" --ptsize "$4" --exposure "$5" --degrade_image --rotate_image \
    --xsize $(($3 * 9)) --ysize $(($4 * $3 * 18 / 720 + 2 * margin)) --margin "$margin" \
    --outputbase "$6" >"$6.log" 2>&1 || { tail -3 "$6.log" >&2; exit 1; }
}

# 2. Training images and .lstmf files; the box files give the line text and position.
# tesseract's lstm.train rewrites the whole .lstmf after every page, so a page count of
# a few hundred per file keeps that cheap.
if [[ ! -s "$out/train/list.txt" ]]; then
  i=0
  for font in "${train_fonts[@]}"; do
    sizes=(10 11 12 14)  # size and stroke weight vary from font to font
    for j in 0 1 2 3; do
      base=$out/train/$(echo "$font" | tr -d ' ')-$j
      render "$out/text/train$((i % 4))-$j.txt" "$font" 300 "${sizes[(i / 4 + i) % 4]}" $((i % 3 - 1)) "$base"
      tesseract "$base.tif" "$base" --psm 7 lstm.train >"$base.tess.log" 2>&1
      echo "$base.lstmf" >>"$out/train/list.tmp"
    done
    echo "training pages: $font"; i=$((i + 1))
  done
  mv "$out/train/list.tmp" "$out/train/list.txt"
fi

# 3. The starter traineddata. combine_lang_model insists on a radical table even for
# Latin text, so a file holding only a comment stands in; no dictionary, on purpose,
# since addresses are not words.
cat "$out"/text/train*.txt >"$out/lang/all.txt"
unicharset_extractor --output_unicharset "$out/lang/addr.raw.unicharset" --norm_mode 1 \
  "$out/lang/all.txt" >"$out/lang/log" 2>&1
mkdir -p "$out/lang/script" "$out/lang/out/addr"
echo "# no radicals for Latin script" >"$out/lang/script/radical-stroke.txt"
set_unicharset_properties -U "$out/lang/addr.raw.unicharset" -O "$out/lang/addr.unicharset" \
  --script_dir "$out/lang/script" >>"$out/lang/log" 2>&1
combine_lang_model --input_unicharset "$out/lang/addr.unicharset" --script_dir "$out/lang/script" \
  --output_dir "$out/lang/out" --lang addr >>"$out/lang/log" 2>&1
starter=$out/lang/out/addr/addr.traineddata
[[ -s $starter ]] || { tail -5 "$out/lang/log" >&2; exit 1; }

# 4. Training from scratch. A short first run measures the speed; the second resumes
# from its checkpoint with an iteration limit that fills the budget, so training stops
# by itself instead of being killed while it writes a checkpoint.
nchars=$(head -1 "$out/lang/addr.unicharset")
train=(lstmtraining --traineddata "$starter" --model_output "$out/ckpt/addr"
  --net_spec "[1,36,0,1 Ct3,3,16 Mp3,3 Lfys48 Lfx96 Lrx96 Lfx192 O1c$nchars]"
  --learning_rate 0.002 --train_listfile "$out/train/list.txt" --target_error_rate 0.005
  --debug_interval 0)
t0=$(date +%s)
"${train[@]}" --max_iterations 300 >>"$out/ckpt/train.log" 2>&1
rate=$((300 * 1000 / ($(date +%s) - t0 + 1)))  # iterations per 1000 s
total=$((rate * minutes * 60 / 1000))
echo "about $rate iterations per 1000 s; training up to iteration $total"
if [[ $total -gt 300 ]]; then  # the timeout is only a backstop
  timeout $((minutes * 75)) "${train[@]}" --max_iterations "$total" >>"$out/ckpt/train.log" 2>&1 || true
fi
echo "training took $((($(date +%s) - t0) / 60)) minutes"
grep -E '^At iteration' "$out/ckpt/train.log" | tail -1 || true
# The best checkpoint by training error; its name is addr_ERROR_ITER_ITER.checkpoint.
best=$(find "$out/ckpt" -maxdepth 1 -name 'addr_[0-9]*_*.checkpoint' -printf '%f\n' | sort -t_ -k2,2g | head -1)
best=$out/ckpt/${best:-addr_checkpoint}
echo "converting $best"
lstmtraining --stop_training --continue_from "$best" --traineddata "$starter" \
  --model_output "$out/model/addr.traineddata" >>"$out/ckpt/train.log" 2>&1

# 5. Held-out fonts at 300 and 200 dpi, every page read as one line by both models.
for dpi in 300 200; do
  for font in "${eval_fonts[@]}"; do
    base=$out/eval/$(echo "$font" | tr -d ' ')-$dpi
    [[ -s $base.tif ]] || render "$out/text/eval.txt" "$font" "$dpi" 11 0 "$base"
    tesseract "$base.tif" - --psm 7 --tessdata-dir "$eng_dir" -l eng >"$base.eng.txt" 2>/dev/null
    tesseract "$base.tif" - --psm 7 --tessdata-dir "$out/model" -l addr >"$base.addr.txt" 2>/dev/null
  done
done
python3 - "$out/eval" "${eval_fonts[@]}" <<'EOF' | tee "$out/results.txt"
import re, sys
d, fonts = sys.argv[1], sys.argv[2:]
addr = re.compile(r"[A-Za-z0-9._%+-]+@[A-Za-z0-9-]+(?:\.[A-Za-z0-9-]+)*\.[A-Za-z]{2,}")
def dist(a, b):
    p = list(range(len(b) + 1))
    for i, x in enumerate(a, 1):
        q = [i]
        for j, y in enumerate(b, 1):
            q.append(min(p[j] + 1, q[j - 1] + 1, p[j - 1] + (x != y)))
        p = q
    return p[-1]
def truth(box):  # the text of each page, from the box file ("\t" ends a line)
    pages = {}
    for l in open(box, encoding="utf-8"):
        ch, *rest = l.rstrip("\n").rsplit(" ", 5)  # ch may be a ligature: "fi"
        if ch != "\t": pages.setdefault(int(rest[-1]), []).append(ch)
    return ["".join(pages[k]).strip() for k in sorted(pages)]
# exact: the whole line; nospace: the same, spaces ignored (OcrRepair closes up the
# spaces beside an "@"); address: the addresses a pattern finds are the same.
print(f"{'font':<16}{'dpi':>4} {'model':<6}{'lines':>6}{'exact':>8}{'nospace':>9}{'address':>9}{'CER':>8}")
for dpi in (300, 200):
    for f in fonts:
        base = f"{d}/{f.replace(' ', '')}-{dpi}"
        t = truth(base + ".box")
        for m in ("eng", "addr"):
            o = [s.strip() for s in open(f"{base}.{m}.txt", encoding="utf-8").read().split("\f")]
            o += [""] * (len(t) - len(o))
            ex = sum(a == b for a, b in zip(t, o))
            ns = sum(a.replace(" ", "") == b.replace(" ", "") for a, b in zip(t, o))
            ad = sum(bool(addr.findall(a)) and addr.findall(a) == addr.findall(b) for a, b in zip(t, o))
            cer = sum(dist(a, b) for a, b in zip(t, o)) / sum(map(len, t))
            print(f"{f:<16}{dpi:>4} {m:<6}{len(t):>6}{ex / len(t):>8.1%}{ns / len(t):>9.1%}{ad / len(t):>9.1%}{cer:>8.2%}")
EOF
