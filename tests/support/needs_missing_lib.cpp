// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: a program whose shared library cannot be found, like a SoX whose
// library is missing. The loader refuses to start it.
int vanishingLibraryAnswer();

int main() {
    return vanishingLibraryAnswer();
}
