# SPDX-License-Identifier: GPL-3.0-or-later
# Completes ziravel-batch's command line as bash does on Tab, with the completion script
# given: "--ty" must become --type, and "--type " offer the waveforms.
set -u
source "$1"
complete_at() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _ziravel_batch
    echo "${COMPREPLY[*]}"
}
options=$(complete_at ziravel-batch --ty)
[ "$options" = "--type" ] || { echo "--ty<TAB> gave: $options"; exit 1; }
types=$(complete_at ziravel-batch --type "")
[ "$types" = "sine square triangle sawtooth trapezium exp whitenoise pinknoise brownnoise" ] ||
    { echo "--type <TAB> gave: $types"; exit 1; }
formats=$(complete_at ziravel-batch --format f)
[ "$formats" = "flac" ] || { echo "--format f<TAB> gave: $formats"; exit 1; }
# Preset names are the user's text: offered as literal, quoted words, never run or expanded.
cd "$(mktemp -d)" || exit 1
ziravel-batch() { printf '%s\n' '$(touch pwned) `touch pwned2`' 'My $HOME' 'Ear check'; }
presets=$(complete_at ziravel-batch --preset "")
[ ! -e pwned ] && [ ! -e pwned2 ] || { echo "--preset <TAB> ran a name"; exit 1; }
expected='\$\(touch\ pwned\)\ \`touch\ pwned2\` My\ \$HOME Ear\ check'
[ "$presets" = "$expected" ] || { echo "--preset <TAB> gave: $presets"; exit 1; }
[ "$(complete_at ziravel-batch --preset 'My\ ')" = 'My\ \$HOME' ] ||
    { echo "--preset My\\ <TAB> gave: $(complete_at ziravel-batch --preset 'My\ ')"; exit 1; }
echo "completion works"
