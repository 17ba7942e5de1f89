#!/usr/bin/env python3
"""Extracts UTF-8 prose per language from installed Debian documentation and
gettext catalogues, one document per source file, for training the encoding
detector.

Output: one file per language, OUT/<lang>.txt, in which every document starts
with a line "\\x1e<document name>" followed by its text. Documents are listed
in sorted order so that the same packages give the same corpus byte for byte.
Prints the packages read, with their versions, on standard output.
"""

import gettext
import gzip
import html
import io
import os
import re
import subprocess
import sys

# Detector languages and the folder or locale names each source uses.
LANGUAGES = {
    "en": ["en", "en-US"], "da": ["da", "da-DK"], "de": ["de", "de-DE"], "es": ["es", "es-ES"],
    "fr": ["fr", "fr-FR"], "it": ["it", "it-IT"], "nl": ["nl", "nl-NL"], "no": ["nb", "nb-NO", "no", "nn"],
    "pt": ["pt", "pt-BR", "pt_BR"], "sv": ["sv", "sv-SE"], "cs": ["cs", "cs-CZ"], "hu": ["hu"],
    "pl": ["pl", "pl-PL"], "ro": ["ro", "ro-RO"], "ru": ["ru", "ru-RU"], "bg": ["bg"], "ar": ["ar", "ar-MA"],
    "el": ["el", "el-GR"], "he": ["he"], "tr": ["tr", "tr-TR"], "th": ["th"], "ja": ["ja", "ja-JP"],
    "zh_CN": ["zh_CN", "zh-CN", "cn"], "zh_TW": ["zh_TW", "zh-TW"], "ko": ["ko", "ko-KR"],
}

DOC_PACKAGES = ["installation-guide-amd64", "debian-history", "debian-handbook", "release-notes"]
MO_PACKAGES = [
    "libc-l10n", "coreutils", "iso-codes", "libglib2.0-data", "libgtk-3-common", "dpkg", "apt",
    "libgtk2.0-common", "xkb-data", "sed", "grep", "diffutils", "wget", "make", "tar", "findutils", "gettext",
    "gettext-base", "psmisc", "xz-utils", "libapt-pkg6.0", "libgdk-pixbuf2.0-common", "libpam-runtime", "login",
    "gsettings-desktop-schemas", "at-spi2-common", "shared-mime-info", "binutils-common", "gnupg-l10n", "systemd",
    "libidn2-0", "xdg-user-dirs", "packagekit", "appstream", "libavahi-common-data", "software-properties-common",
    "python-apt-common", "vlc-l10n", "gimp-data", "pidgin-data", "libgweather-4-common", "gnome-control-center-data",
    "nautilus-data", "thunar-data", "evolution-data-server-common", "gnome-software-common", "gnome-shell-common",
    "hexchat-common",
]


def package_files(package):
    try:
        out = subprocess.run(["dpkg", "-L", package], capture_output=True, text=True, check=True).stdout
    except subprocess.CalledProcessError:
        return []
    return sorted(line for line in out.splitlines() if os.path.isfile(line))


def package_version(package):
    out = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], capture_output=True, text=True)
    return out.stdout.strip() if out.returncode == 0 else None


LANGUAGE_PART = re.compile(r"\.[a-z]{2}(?:[_-][A-Za-z]{2})?\.(?:html|txt)")
TAG = re.compile(r"<[^>]*>")
DROP = re.compile(r"<(script|style|pre)\b.*?</\1>", re.S | re.I)
SPACE = re.compile(r"[ \t\r\f\v]+")
MO_FORMAT = re.compile(r"%[-+ #0]*\d*(?:\.\d+)?[hlLqjzt]*[diouxXeEfgGcsp%]|\$\{[^}]*\}|<[^>]*>|_")


def html_text(text):
    text = DROP.sub(" ", text)
    text = re.sub(r"<(/p|br|/h\d|/li|/tr|/div|/title)\b[^>]*>", "\n", text, flags=re.I)
    text = html.unescape(TAG.sub(" ", text))
    return clean(text)


def clean(text):
    lines = []
    for line in text.splitlines():
        line = SPACE.sub(" ", line).strip()
        if line:
            lines.append(line)
    return "\n".join(lines)


def mo_text(path):
    # Catalogues in other charsets than UTF-8 are left out: what they say
    # about their charset cannot be trusted enough for training.
    try:
        with open(path, "rb") as f:
            catalog = gettext.GNUTranslations(f)._catalog
    except (UnicodeDecodeError, LookupError, OSError):
        return ""
    strings = []
    for key in sorted(catalog, key=lambda k: repr(k)):
        if key == "" or (isinstance(key, tuple) and key[0] == ""):
            continue
        value = catalog[key]
        if value == key or (isinstance(key, tuple) and value == key[0]):
            continue  # untranslated
        strings.append(MO_FORMAT.sub("", value))
    return clean("\n".join(strings))


# Languages not written in Latin letters. Their translations keep untranslated
# passages (whole English paragraphs, commands, file names); a line counts as
# the language's text only when at least a third of its letters are of the
# language's script. Punctuation such as curly quotes is not a letter, so it
# does not make an English line count.
NON_LATIN = {"ru", "bg", "el", "he", "ar", "th", "ja", "zh_CN", "zh_TW", "ko"}


def script_line(line):
    letters = [c for c in line if c.isalpha()]
    script = sum(1 for c in letters if ord(c) > 0x24F)
    return script > 0 and 3 * script >= len(letters)


# Translations into languages written in Latin letters keep untranslated
# English too; a line of six words or more in which English function words
# make up a tenth or more of the words is English, not the language's text.
# The words are ones that no other detector language uses as a word.
ENGLISH_WORDS = {"the", "and", "that", "with", "this", "are", "which", "you", "your", "from", "have",
                 "should", "when", "these", "their", "there", "been", "would", "could", "into"}
WORD = re.compile(r"[^\W\d_]+")


def english_line(line):
    words = WORD.findall(line.lower())
    return len(words) >= 6 and 10 * sum(1 for w in words if w in ENGLISH_WORDS) >= len(words)


def keep_language_lines(lang, text):
    if lang in NON_LATIN:
        return "\n".join(line for line in text.splitlines() if script_line(line))
    if lang != "en":
        return "\n".join(line for line in text.splitlines() if not english_line(line))
    return text


def language_of(path):
    parts = re.split(r"[/.]", path)
    for lang, names in LANGUAGES.items():
        for name in names:
            if name in parts:
                return lang
    return None


def read_text(path):
    raw = open(path, "rb").read()
    if path.endswith(".gz"):
        raw = gzip.decompress(raw)
        path = path[:-3]
    if not path.endswith((".html", ".htm", ".txt")):
        return None
    # Some older documents are in a legacy charset (the Russian text guide in
    # KOI8-R, the history's dedications in Latin-1, GB2312 or EUC-JP). They
    # are left out, as the catalogues are: read as UTF-8 they would teach the
    # detector replacement characters and broken sequences.
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        return None
    return html_text(text) if path.endswith((".html", ".htm")) else clean(text)


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    documents = {lang: [] for lang in LANGUAGES}
    for package in DOC_PACKAGES:
        version = package_version(package)
        if version is None:
            continue
        print(f"{package}\t{version}")
        for path in package_files(package):
            lang = language_of(path.replace("/usr/share/doc/", "/"))
            if lang is None:
                # English documents of the history carry no language part in
                # their name; a part we do not train (lt, fi, ...) is skipped.
                name = os.path.basename(path)
                if package != "debian-history" or LANGUAGE_PART.search(name):
                    continue
                lang = "en"
            text = keep_language_lines(lang, read_text(path) or "")
            if text and len(text) > 200:
                documents[lang].append((path, text))
    for package in MO_PACKAGES:
        version = package_version(package)
        if version is None:
            continue
        print(f"{package}\t{version}")
        for path in package_files(package):
            if not path.endswith(".mo"):
                continue
            locale = path.split("/usr/share/locale/")[-1].split("/")[0]
            lang = next((l for l, names in LANGUAGES.items() if locale in names), None)
            if lang is None:
                continue
            text = keep_language_lines(lang, mo_text(path))
            if text and len(text) > 200:
                documents[lang].append((path, text))
    for lang, docs in documents.items():
        docs.sort()
        with io.open(os.path.join(out_dir, lang + ".txt"), "w", encoding="utf-8", newline="\n") as f:
            for name, text in docs:
                f.write("\x1e" + name + "\n" + text.replace("\x1e", " ") + "\n")


if __name__ == "__main__":
    main()
