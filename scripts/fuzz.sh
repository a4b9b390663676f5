#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs the signed-file targets for SECONDS (default 30) and the launcher's name and
# failure-text targets for half as long. Each starts from the corpus in fuzz/corpus, which
# holds the inputs of earlier findings, so every run replays them, and for the two simple
# targets the inputs that runs of ten million each kept (those runs found nothing new after
# some 700,000 inputs): a run starts where they ended. New inputs collect in
# a scratch copy; the repository's corpus is not changed. An input that finds a failure is
# kept in build/fuzz-findings with the certificate the run trusted, and the command that
# replays it is printed.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
# The seed files are made by the tool of the native build (the fuzz build has no tool).
cmake --preset native >/dev/null
cmake --build --preset native --target rdplaunch-name
findings=$PWD/build/fuzz-findings
mkdir -p "$findings"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The signed-file target starts from files signed for this run: a certificate and key made
# now (never kept), the certificate trusted by the target, one file of each edition.
mkdir -p "$scratch/signed_file"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Fuzz Publisher' -keyout "$scratch/key.pem" \
  -addext basicConstraints=critical,CA:FALSE -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
  -out "$scratch/cert.pem" >/dev/null 2>&1 </dev/null
export RDPLAUNCH_FUZZ_CERT="$scratch/cert.pem"
for key in PELTA_8 PELTA_NRD PELTA_8_CP_Online; do
  build/native/rdplaunch-name rdp "$key\$a\$b\$.exe" --cert "$scratch/cert.pem" --key "$scratch/key.pem" \
    >"$scratch/signed_file/$key.rdp"
done
# The reader of signed files, without cryptography, starts from the same files.
cp -r "$scratch/signed_file" "$scratch/signed_file_reader"
fuzz() {
  local target=$1 seconds=$2
  mkdir -p "$scratch/$target"
  rm -f "$findings/$target"-*
  [[ -d fuzz/corpus/$target ]] && cp fuzz/corpus/$target/* "$scratch/$target/"
  build/fuzz/${target}_fuzzer -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$findings/$target-" "$scratch/$target" \
    >"$scratch/$target.log" 2>&1
}
# Two targets at a time, one on each core: each still gets its SECONDS of one core.
failed=0
for pair in "launch_name failure_text $((seconds / 2))" "signed_file_reader signed_file $seconds"; do
  read -r first second pair_seconds <<<"$pair"
  pair="$first $second"
  echo "== fuzzing $pair for $pair_seconds s"
  declare -A running=()
  for target in $pair; do
    fuzz "$target" "$pair_seconds" &
    running[$target]=$!
  done
  for target in $pair; do
    status=0
    wait "${running[$target]}" || status=$?
    echo "-- $target"
    grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|==[0-9]+==ERROR|SUMMARY)' "$scratch/$target.log" || true
    if ((status != 0)); then
      tail -40 "$scratch/$target.log"
      cp "$scratch/cert.pem" "$findings/fuzz-cert.pem"
      echo "fuzz: $target found a failure (exit code $status); its input is kept in $findings:" >&2
      for input in "$findings/$target"-*; do
        [[ -e $input ]] && echo "  replay: RDPLAUNCH_FUZZ_CERT=$findings/fuzz-cert.pem build/fuzz/${target}_fuzzer $input" >&2
      done
      failed=1
    fi
  done
done
exit "$failed"
