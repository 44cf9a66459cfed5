# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the README's Python and R code for reading a set on a set ziravel-batch makes, so that
# the README cannot drift from the key's columns, the file names and the manifest.
# Arguments: ziravel-batch, README.md. Exits with 77 (skipped) without pandas, soundfile or R.
import contextlib
import csv
import io
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77


def readme_blocks(readme, heading):
    """The indented code blocks of the paragraph that starts with `heading`, in order."""
    lines = open(readme, encoding="utf-8").read().split("\n")
    start = next(i for i, line in enumerate(lines) if line.startswith(heading))
    blocks, block = [], None
    for line in lines[start + 1:]:
        if line.startswith("    "):
            block = block if block is not None else []
            block.append(line[4:])
        elif line.strip() and block is not None:
            blocks.append("\n".join(block) + "\n")
            block = None
        elif line.startswith("**"):
            break
    return blocks


def main():
    program, readme = sys.argv[1], sys.argv[2]
    try:
        import pandas
        import soundfile
    except ImportError:
        print("pandas or soundfile is not installed")
        return SKIP
    rscript = shutil.which("Rscript")
    if rscript is None:
        print("R is not installed")
        return SKIP
    python_code, r_code = readme_blocks(readme, "**Reading a set in Python or R.**")[:2]

    with tempfile.TemporaryDirectory() as work:
        os.chdir(work)
        subprocess.run([program, "--frequencies", "300,400,500", "--balanced", "--length", "0.2",
                        "--seed", "5", "--checksums", "--folder", "set", "--quiet"], check=True)
        with open("set/Ziravel_tones.csv", newline="") as key_file:
            seed = next(csv.DictReader(key_file))["tone_seed"]

        printed = io.StringIO()
        names = {}
        with contextlib.redirect_stdout(printed):
            exec(python_code, names)
        for number in (1, 2, 3):
            assert f"Ziravel_{number}.wav" in printed.getvalue(), printed.getvalue()
        key = names["key"]
        assert key.tone_seed[0] == seed, (key.tone_seed[0], seed)
        # The columns a pipeline reads, with the types it expects.
        assert key.file_seconds.dtype.kind == "f" and key.file_seconds[0] == 0.2, key.file_seconds
        assert key["round"].dtype.kind == "i" and set(key["round"]) == {1}, key["round"]
        assert set(key.level_reference) == {"peak"}, key.level_reference
        assert all(len(digest) == 64 for digest in key.sha256), key.sha256

        # An MP3 file's length in the key is what decoders give (its whole frames).
        subprocess.run([program, "--count", "1", "--length", "1", "--format", "mp3", "--folder",
                        "mp3", "--quiet"], check=True)
        mp3_key = pandas.read_csv("mp3/Ziravel_tones.csv")
        samples, rate = soundfile.read("mp3/Ziravel_1.mp3")
        assert mp3_key.file_seconds[0] == len(samples) / rate, (mp3_key.file_seconds[0],
                                                                len(samples) / rate)

        with open("read.R", "w") as script:
            script.write(r_code + f'stopifnot(identical(key$tone_seed[1], "{seed}"))\n')
        subprocess.run([rscript, "read.R"], check=True)
    print("the README reads the set in Python and R")
    return 0


sys.exit(main())
