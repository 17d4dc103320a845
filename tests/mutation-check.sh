#!/usr/bin/env bash
# Checks that the tests catch faults: applies one-line mutations to the store, the
# keychain file code and the status menu's construction, one at a time, rebuilds the
# tests of the area, runs them (stopping at the first failure) and counts the mutants
# the tests kill and those that survive. Not part of the CI run: it rebuilds and runs
# tests once for every mutation.
#
#   tests/mutation-check.sh SOURCE_DIR BUILD_DIR [BUILD_DIR...]
#
# SOURCE_DIR is a checkout the script may change (a scratch worktree is best): every
# mutated file is restored from git after its run, also when the script is stopped.
# Each BUILD_DIR is a configured build whose sources under src/ are SOURCE_DIR's (the
# build of SOURCE_DIR itself, or of a tree whose src is a link to it, for comparing two
# versions of the tests on the same mutants); each is counted on its own.
# MUTATION_JOBS sets the build's parallel jobs (1 by default), MUTATION_ONLY a regular
# expression of the mutations to run (matched against "file: pattern"),
# MUTATION_TEST_SECONDS the time a run may take before it counts as a hang (a kill),
# MUTATION_SKIP_BASELINE=1 skips the first run of the tests on the unchanged sources.
set -uo pipefail
source_dir=$(cd "${1:?source folder}" && pwd)
shift
build_dirs=()
for dir in "${@:?build folder}"; do
    build_dirs+=("$(cd "$dir" && pwd)")
done
script_dir="$(cd "$(dirname "$0")" && pwd)"
jobs=${MUTATION_JOBS:-1}
only=${MUTATION_ONLY:-}
test_seconds=${MUTATION_TEST_SECONDS:-600}

# The tests that drive each area, and the programs to rebuild for them.
declare -A area_tests=(
    [keychain]='tst_filekeychainbody tst_filekeychainformat tst_filekeychainfiles tst_filekeychainitems tst_filekeychainunlock tst_filestore'
    [store]='tst_item tst_filestore tst_keychainstore tst_editcontroller'
    [menu]='tst_statusmenu tst_traydesktop'
)

# area ` file ` text found exactly once in the file ` its replacement
mutations=$(cat <<'EOF'
keychain`src/platform/keychain/FileKeychainBody.cpp`        if (argument < 24) {`        if (argument <= 24) {
keychain`src/platform/keychain/FileKeychainBody.cpp`                                     : argument <= 0xffff      ? 2`                                     : argument < 0xffff      ? 2
keychain`src/platform/keychain/FileKeychainBody.cpp`    text[14] = 'Z';`    text[14] = 'z';
keychain`src/platform/keychain/FileKeychainBody.cpp`tag != KeychainCodes::creationDate && tag != KeychainCodes::modificationDate`tag != KeychainCodes::creationDate || tag != KeychainCodes::modificationDate
keychain`src/platform/keychain/FileKeychainBody.cpp`m_entries.back().first < tag`m_entries.back().first <= tag
keychain`src/platform/keychain/FileKeychainBodyReader.cpp`if (!readBody(content) || m_at != m_end) {`if (!readBody(content)) {
keychain`src/platform/keychain/FileKeychainBodyReader.cpp`if (info > 27) {`if (info > 28) {
keychain`src/platform/keychain/FileKeychainBodyReader.cpp`wide > 0xffffffffu`wide >= 0xffffffffu
keychain`src/platform/keychain/FileKeychainBodyReader.cpp`return read && seen == (std::uint32_t(1) << keyCount) - 1;`return read;
keychain`src/platform/keychain/FileKeychainBodyReader.cpp`(seen & (std::uint32_t(1) << key)) != 0 ||`false ||
keychain`src/platform/keychain/FileKeychainFile.cpp`return error == EEXIST ? errSecDuplicateKeychain`return error == EEXIST ? errSecIO
keychain`src/platform/keychain/FileKeychainFile.cpp`if (replacing && (old.st_mode & S_IWUSR) == 0) {`if (replacing && (old.st_mode & S_IWUSR) != 0) {
keychain`src/platform/keychain/FileKeychainFile.cpp`name.size() == prefix.size() + 6`name.size() == prefix.size() + 7
keychain`src/platform/keychain/FileKeychainFile.cpp`(error == ENOENT || error == ENOTDIR) ? errSecNoSuchKeychain`(error == ENOTDIR) ? errSecNoSuchKeychain
keychain`src/platform/keychain/FileKeychain.cpp`attempt <= passwordAttempts`attempt < passwordAttempts
keychain`src/platform/keychain/FileKeychain.cpp`if (m_loaded && stamp == m_stamp) {`if (m_loaded) {
keychain`src/platform/keychain/FileKeychain.cpp`if (item == nullptr || item->keychain != m_identity) {`if (item == nullptr) {
keychain`src/platform/keychain/FileKeychainHeader.cpp`return opsLimit >= least.opsLimit`return opsLimit > least.opsLimit
store`src/store/NetKeyloft_KeychainController.cpp`QString::number(number + 1)`QString::number(number - 1)
store`src/store/NetKeyloft_KeychainController.cpp`if (digitCount > 8) {`if (digitCount >= 8) {
store`src/store/NetKeyloft_KeychainController.cpp`from <= to ? to - 1 : to`from < to ? to - 1 : to
store`src/store/NetKeyloft_Item.cpp`return pieces.size() == 3 ? pieces.at(0)`return pieces.size() == 3 ? pieces.at(1)
store`src/store/NetKeyloft_Item.cpp`return std::int32_t(std::min(magnitude, limit - 1));`return std::int32_t(std::min(magnitude, limit));
store`src/store/NetKeyloft_KeychainReading.cpp`if (c < u'0' || c > u'9') {`if (c < u'0' && c > u'9') {
store`src/store/NetKeyloft_Keychain.cpp`return errSecAuthFailed; // the user said no`return errSecItemNotFound; // the user said no
store`src/store/NetKeyloft_Keychain.cpp`if (status == errSecAuthFailed && !m_refused) {`if (status == errSecAuthFailed) {
store`src/store/SortKey.cpp`byCollation != 0 ? byCollation < 0`byCollation != 0 ? byCollation > 0
menu`src/app/StatusMenuBuilding.cpp`if (items.size() > limit) {`if (items.size() >= limit) {
menu`src/app/StatusMenuBuilding.cpp`firstPosition + int(limit), level`firstPosition + int(limit) - 1, level
menu`src/app/StatusMenuBuilding.cpp`item->setChecked(sortBy == key);`item->setChecked(sortBy != key);
menu`src/app/StatusMenuBuilding.cpp`descending->setChecked(!preferences.sortAscending());`descending->setChecked(preferences.sortAscending());
menu`src/app/StatusMenuBuilding.cpp`QStringLiteral("&&"));`QStringLiteral("&"));
menu`src/app/StatusMenuBuilding.cpp`m_sortByMenuItem->setEnabled(false);`m_sortByMenuItem->setEnabled(true);
menu`src/app/StatusMenuBuilding.cpp`addEntryItem(menu, item, position++);`addEntryItem(menu, item, ++position);
EOF
)

mutated=""
restore() {
    if [ -n "$mutated" ]; then
        git -C "$source_dir" checkout -- "$mutated"
        mutated=""
    fi
}
trap restore EXIT
trap 'restore; exit 130' INT TERM

# Replaces the one occurrence of a text in a file; fails when it is not there exactly once.
apply_mutation() {
    python3 - "$1" "$2" "$3" <<'PY'
import sys
path, old, new = sys.argv[1:4]
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit(1)
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
}

regex_of() { echo "^($(echo "$1" | tr ' ' '|'))\$"; }

# Builds and runs the tests of an area in one build folder: 0 when they pass, 1 when
# one fails, 2 when the build fails.
run_area() {
    local build_dir=$1 tests=${area_tests[$2]}
    # shellcheck disable=SC2086
    cmake --build "$build_dir" -j "$jobs" --target $tests >"$build_dir/mutation-build.log" 2>&1 ||
        return 2
    timeout -k 20 "$test_seconds" "$script_dir/run-tests.sh" "$build_dir" --stop-on-failure \
        -R "$(regex_of "$tests")" >"$build_dir/mutation-test.log" 2>&1 || return 1
    return 0
}

if [ -n "$(git -C "$source_dir" status --porcelain --untracked-files=no -- src)" ]; then
    echo "The sources in $source_dir have changes of their own; commit or stash them first." >&2
    exit 1
fi

if [ "${MUTATION_SKIP_BASELINE:-0}" != 1 ]; then
    for build_dir in "${build_dirs[@]}"; do
        for area in "${!area_tests[@]}"; do
            if ! run_area "$build_dir" "$area"; then
                echo "The unchanged sources fail the $area tests in $build_dir;" \
                    "see $build_dir/mutation-*.log." >&2
                exit 1
            fi
        done
    done
fi

declare -A killed survived broken survivors
missing=0 absent=()
for build_dir in "${build_dirs[@]}"; do
    killed[$build_dir]=0 survived[$build_dir]=0 broken[$build_dir]=0 survivors[$build_dir]=""
done
while IFS='`' read -r area file pattern replacement; do
    [ -n "$area" ] || continue
    name="$file: $pattern"
    if [ -n "$only" ] && ! [[ "$name" =~ $only ]]; then
        continue
    fi
    if ! apply_mutation "$source_dir/$file" "$pattern" "$replacement"; then
        missing=$((missing + 1)) absent+=("$name")
        echo "absent    $name"
        continue
    fi
    mutated=$file
    # The build folders are independent: each is built and tested at the same time.
    results=()
    for build_dir in "${build_dirs[@]}"; do
        run_area "$build_dir" "$area" &
        results+=($!)
    done
    verdicts=""
    for index in "${!build_dirs[@]}"; do
        build_dir=${build_dirs[$index]}
        wait "${results[$index]}"
        case $? in
        0)
            survived[$build_dir]=$((survived[$build_dir] + 1)) verdict=survived
            survivors[$build_dir]+="  survived: $name -> $replacement"$'\n'
            ;;
        1) killed[$build_dir]=$((killed[$build_dir] + 1)) verdict=killed ;;
        *)
            broken[$build_dir]=$((broken[$build_dir] + 1)) verdict=unbuilt
            survivors[$build_dir]+="  not compiling: $name"$'\n'
            ;;
        esac
        verdicts+="$(printf '%-9s' "$verdict") "
    done
    restore
    echo "$verdicts$name"
done <<<"$mutations"

# Leave the tests' programs matching the sources again.
for build_dir in "${build_dirs[@]}"; do
    for area in "${!area_tests[@]}"; do
        # shellcheck disable=SC2086
        cmake --build "$build_dir" -j "$jobs" --target ${area_tests[$area]} >/dev/null 2>&1 || true
    done
done

for build_dir in "${build_dirs[@]}"; do
    echo
    echo "$build_dir: mutants killed: ${killed[$build_dir]}, survived: ${survived[$build_dir]}," \
        "not compiling: ${broken[$build_dir]}"
    printf '%s' "${survivors[$build_dir]}"
done
echo "Mutations whose text was not found: $missing"
for name in "${absent[@]}"; do echo "  absent: $name"; done
