#!/usr/bin/env bash
# Manual check: exports one Ardour session with the plug-in on a track at several buffer sizes and
# repeatedly, with Ardour's own export, and compares the files. Needs Debian's `ardour` package
# (7.x) and python3; not part of CI. Ardour runs headless (ardour7-lua, the "None (Dummy)" backend)
# with a private HOME and configuration under a temporary folder, so the user's own Ardour set-up
# and plug-in folders are neither read nor changed.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/.." && pwd)"
lib="$here/ardour-export-check"

usage() {
    cat <<'EOF'
usage: tools/ardour-export-check.sh [options]
       tools/ardour-export-check.sh --case NAME [options]   (options after --case override it)
       tools/ardour-export-check.sh --all [--bundle PATH] [--keep]   (every case below, a table each)

options:
  --bundle PATH        the VST3 bundle (default: build-release/.../Ondula Delay Free.vst3)
  --rate HZ            sample rate of the session and the backend (default 48000)
  --buffers A,B,...    buffer sizes to export at; the first is the reference (default 1024)
  --runs N             exports at each buffer size (default 1)
  --settings default|strong
                       strong: the Ondula amount and velocity, the Ondula Frequency, Amplitude,
                       Pan and Delay amounts at 1, dry 0, wet 1
  --input clicks|noise clicks: a 64-sample noise burst every 0.5 s; noise: 1 s of noise, silence
  --position SECONDS   where the region starts on the timeline (default 0); the export covers
                       the region
  --seconds SECONDS    length of the region and the export (default 6)
  --automate PARAM     ramp PARAM 0 -> 1 from 0.5 s to 4.5 s after the region's start (Play)
  --set PARAM=VALUE    a further parameter value (0..1); repeatable
  --no-plugin          the track without the plug-in: Ardour alone, which must export identical files
  --keep               keep the temporary folder (sessions, exports, logs) and print its path

cases (--case NAME):
  control              no plug-in, clicks, buffers 1024,64,8192, 2 runs
  default-clicks       default settings, clicks, buffers 1024,64,8192
  strong-noise         strong modulation, noise, buffers 1024,64,8192
  strong-noise-96k     the same at 96 kHz
  repeat-96k           strong modulation, noise, 96 kHz, buffer 256, 8 runs
  region-at-2s         default settings, clicks, the region at 2 s, buffers 1024,64,8192
  wet-ramp             dry/wet's wet automated, clicks, buffer 4096, 5 runs
  wet-fixed            the same without automation, 5 runs
  amount-ramp          the Ondula amount automated, noise, buffer 4096, 5 runs
  amount-ramp-buffers  the same at buffers 4096,64,1024

Prints one row per compared pair (each buffer size's first run against the first buffer size's,
each further run against the first run at its size): the residual (the difference's energy
relative to the reference's), the largest sample difference, the first echo's onset in both files
(clicks only: the first sample at -60 dBFS or more outside the input's bursts, counted from the
export's start), the time from which the files differ, and the largest level difference of the
channels' 0.5 s windows. Then, for repeated runs, which runs gave identical files.
EOF
}

default_bundle="$repo/build-release/OndulaDelay_artefacts/Release/VST3/Ondula Delay Free.vst3"
bundle="$default_bundle"
rate=48000
buffers=1024
runs=1
settings=default
input=clicks
position=0
seconds=6
automate=""
sets=()
keep=0
no_plugin=0

apply_case() {
    case "$1" in
        control) no_plugin=1 input=clicks buffers=1024,64,8192 runs=2 ;;
        default-clicks) settings=default input=clicks buffers=1024,64,8192 ;;
        strong-noise) settings=strong input=noise buffers=1024,64,8192 ;;
        strong-noise-96k) settings=strong input=noise rate=96000 buffers=1024,64,8192 ;;
        repeat-96k) settings=strong input=noise rate=96000 buffers=256 runs=8 ;;
        region-at-2s) settings=default input=clicks position=2 buffers=1024,64,8192 ;;
        wet-ramp) input=clicks buffers=4096 runs=5 automate=delay_globals_dynamics_wet ;;
        wet-fixed) input=clicks buffers=4096 runs=5 automate="" ;;
        amount-ramp) input=noise buffers=4096 runs=5 automate=delay_globals_ondula_amount ;;
        amount-ramp-buffers) input=noise buffers=4096,64,1024 runs=1 automate=delay_globals_ondula_amount ;;
        *) echo "unknown case '$1'" >&2; exit 2 ;;
    esac
}

all_cases=(control default-clicks strong-noise strong-noise-96k repeat-96k region-at-2s wet-ramp wet-fixed amount-ramp amount-ramp-buffers)
run_all=0
case_name=""

while [ $# -gt 0 ]; do
    case "$1" in
        --bundle) bundle="${2:?}"; shift 2 ;;
        --rate) rate="${2:?}"; shift 2 ;;
        --buffers) buffers="${2:?}"; shift 2 ;;
        --runs) runs="${2:?}"; shift 2 ;;
        --settings) settings="${2:?}"; shift 2 ;;
        --input) input="${2:?}"; shift 2 ;;
        --position) position="${2:?}"; shift 2 ;;
        --seconds) seconds="${2:?}"; shift 2 ;;
        --automate) automate="${2:?}"; shift 2 ;;
        --set) sets+=("${2:?}"); shift 2 ;;
        --case) case_name="${2:?}"; apply_case "$case_name"; shift 2 ;;
        --all) run_all=1; shift ;;
        --keep) keep=1; shift ;;
        --no-plugin) no_plugin=1; shift ;;
        -h|--help) usage; exit 0 ;;
        *) echo "unknown option '$1'" >&2; usage >&2; exit 2 ;;
    esac
done

if [ "$run_all" = 1 ]; then
    status=0
    for c in "${all_cases[@]}"; do
        echo "== $c"
        keep_arg=()
        [ "$keep" = 1 ] && keep_arg=(--keep)
        "${BASH_SOURCE[0]}" --bundle "$bundle" --case "$c" "${keep_arg[@]+"${keep_arg[@]}"}" || status=1
        echo
    done
    exit "$status"
fi

# Every value reaches Ardour and python as a separate argument, never as code; still, refuse
# anything that is not the shape it should have.
fail() { echo "ardour-export-check: $*" >&2; exit 1; }
[[ "$rate" =~ ^(22050|24000|44100|48000|88200|96000|176400|192000)$ ]] || fail "--rate: not a rate the dummy backend offers"
[[ "$buffers" =~ ^[0-9]+(,[0-9]+)*$ ]] || fail "--buffers: want sizes like 64,1024"
[[ "$runs" =~ ^[1-9][0-9]?$ ]] || fail "--runs: want 1..99"
[[ "$settings" =~ ^(default|strong)$ ]] || fail "--settings: default or strong"
[[ "$input" =~ ^(clicks|noise)$ ]] || fail "--input: clicks or noise"
[[ "$position" =~ ^[0-9]+(\.[0-9]+)?$ ]] || fail "--position: seconds"
[[ "$seconds" =~ ^[0-9]+(\.[0-9]+)?$ ]] || fail "--seconds: seconds"
[[ -z "$automate" || "$automate" =~ ^[A-Za-z0-9_\ ]+$ ]] || fail "--automate: a parameter name"
for s in "${sets[@]+"${sets[@]}"}"; do
    [[ "$s" =~ ^[A-Za-z0-9_\ ]+=[0-9]*\.?[0-9]+$ ]] || fail "--set: want PARAM=VALUE, got '$s'"
done
IFS=, read -r -a buffer_list <<<"$buffers"
for b in "${buffer_list[@]}"; do
    [[ "$b" =~ ^(16|32|64|128|256|512|1024|2048|4096|8192)$ ]] || fail "buffer $b: the dummy backend offers 16 ... 8192 (powers of two)"
done

command -v ardour7-lua >/dev/null || fail "ardour7-lua not found: install Debian's 'ardour' package (apt-get install ardour)"
command -v python3 >/dev/null || fail "python3 not found"
scanner=/usr/lib/ardour7/ardour-vst3-scanner
[ -x "$scanner" ] || fail "$scanner not found (Debian's 'ardour' package)"
compgen -G "$bundle/Contents/*-linux/*.so" >/dev/null || fail "no plug-in binary in '$bundle' (build it first)"
bundle="$(cd "$bundle" && pwd)"
plugin_name="Ondula Delay Free"
if [ "$no_plugin" = 1 ]; then
    [ "$settings" = default ] && [ -z "$automate" ] && [ "${#sets[@]}" = 0 ] || fail "--no-plugin takes no settings or automation"
    plugin_name="-"
fi
# Ardour's "BWAV 32float Export" format: float samples, no dither, at the session's rate.
float_format=20b4ab09-6452-4cb3-bd66-b921cdbd2942
preset_id=6c1e2b7a-4f0d-4d2e-9a55-3b8f0c1d7e21

work="$(mktemp -d "${TMPDIR:-/tmp}/ardour-export-check.XXXXXX")"
if [ "$keep" = 1 ]; then
    echo "temporary folder: $work"
else
    trap 'rm -rf "$work"' EXIT
fi

# Ardour's private world: its config (with the VST3 search path holding only the bundle's folder),
# its plug-in cache and an export preset live here, not in the user's folders.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/ardour7/export" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"

xml_escape() { local s="$1"; s="${s//&/&amp;}"; s="${s//</&lt;}"; s="${s//>/&gt;}"; s="${s//\"/&quot;}"; printf '%s' "$s"; }
cat >"$XDG_CONFIG_HOME/ardour7/config" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="plugin-path-vst3" value="$(xml_escape "$(dirname "$bundle")")"/>
  </Config>
</Ardour>
EOF
cat >"$XDG_CONFIG_HOME/ardour7/export/export-check.preset" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<ExportPreset id="$preset_id" name="Float WAV for the export check">
  <ExportFormat id="$float_format"/>
  <ExportFilename>
    <Folder relative="1" path="export"/>
    <Field name="label" enabled="0"/>
    <Field name="session" enabled="0"/>
    <Field name="snapshot" enabled="0"/>
    <Field name="timespan" enabled="1"/>
    <Field name="revision" enabled="0"/>
    <Field name="time" enabled="0" value="T_None"/>
    <Field name="date" enabled="0" value="D_None"/>
  </ExportFilename>
</ExportPreset>
EOF

ardour_run() { # log-file expected-file script args...
    local log="$1" expected="$2" status=0; shift 2
    timeout 900 ardour7-lua "$@" >"$log" 2>&1 || status=$?
    if [ "$status" = 0 ] && grep -q -E '^(session made|exported at buffer)' "$log"; then
        return
    fi
    # Ardour 7.3's headless session sometimes dies while it shuts down, its output unflushed, with
    # no plug-in too (the control case): when what it was to write is there, say so and go on (a
    # file cut short would not compare as equal).
    if [ "$status" != 0 ] && [ -s "$expected" ]; then
        echo "ardour-export-check: ardour7-lua exited with status $status once $(basename "$expected") was written ($(basename "$log"): $(tail -n 1 "$log"))" >&2
        return
    fi
    echo "ardour-export-check: ardour7-lua failed; the end of its log ($(basename "$log")):" >&2
    tail -n 20 "$log" >&2
    exit 1
}

# A headless session only reads the plug-in cache (it never scans), so scan the bundle first.
LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 300 "$scanner" -f "$bundle" >"$work/scan.log" 2>&1 \
    || { tail -n 20 "$work/scan.log" >&2; fail "Ardour's VST3 scanner failed on the bundle"; }

settings_args=()
if [ "$settings" = strong ]; then
    settings_args=(delay_globals_ondula_amount=1 delay_globals_ondula_velocity=1 ondula_frequency_amount=1
        ondula_amplitude_amount=1 ondula_pan_amount=1 ondula_delay_amount=1
        delay_globals_dynamics_dry=0 delay_globals_dynamics_wet=1)
fi

samples() { python3 -c 'import sys; print(round(float(sys.argv[1]) * int(sys.argv[2])))' "$1" "$rate"; }
start=$(samples "$position")
length=$(samples "$seconds")
ramp_start=$((start + $(samples 0.5)))
ramp_end=$((start + $(samples 4.5)))

session="$work/made/check"
ardour_run "$work/make.log" "$session/check.ardour" "$lib/make-session.lua" "$session" check "$rate" "$plugin_name" "$start" "$length" \
    "$automate" "$ramp_start" "$ramp_end" "${settings_args[@]+"${settings_args[@]}"}" "${sets[@]+"${sets[@]}"}"

# The placeholder region's two sources get the input signal (same length, so the region fits).
shopt -s nullglob
left=("$session"/interchange/*/audiofiles/input%L.wav)
right=("$session"/interchange/*/audiofiles/input%R.wav)
shopt -u nullglob
[ "${#left[@]}" = 1 ] && [ "${#right[@]}" = 1 ] || fail "the session's placeholder sources are missing"
python3 "$lib/wavtool.py" input "$input" "$rate" "$seconds" "${left[0]}" "${right[0]}"
# The placeholder's peak files describe silence; Ardour remakes them from the new sources.
rm -rf "$session/peaks" && mkdir "$session/peaks"

ardour_version="$(ardour7-lua --version 2>/dev/null | head -n 1 | sed 's/.*version //' | tr -cd '[:alnum:].~+-')"
echo "Ardour $ardour_version, dummy backend, $rate Hz;" \
    "$([ "$no_plugin" = 1 ] && echo "no plug-in" || echo "settings $settings"), input $input, region at ${position} s, ${seconds} s${automate:+, $automate ramped 0 -> 1 from 0.5 s to 4.5 s}${sets[0]+; set ${sets[*]}}"

exports=()
for b in "${buffer_list[@]}"; do
    for ((r = 1; r <= runs; r++)); do
        # Each export loads an untouched copy, so runs differ only by what Ardour does.
        copy="$work/runs/b$b-r$r"
        mkdir -p "$copy" "$work/out"
        cp -a "$session" "$copy/"
        file="$work/out/b$b-r$r.wav"
        ardour_run "$work/export-b$b-r$r.log" "$file" "$lib/export-session.lua" "$copy/check" check "$rate" "$b" \
            "$work/out" "b$b-r$r" "$start" "$((start + length))" "$preset_id" "$plugin_name"
        [ -f "$file" ] || fail "the export wrote no $file"
        exports+=("b$b#$r=$file")
    done
done

python3 "$lib/wavtool.py" compare "$rate" "$input" "${exports[@]}"
