#!/usr/bin/env python3
"""Extracts UTF-8 prose per language from installed Debian documentation and
gettext catalogues, one document per source file, for training the encoding
detector.

Output: one file per language, OUT/<lang>.txt, in which every document starts
with a line "\\x1e<document name>" followed by its text. Documents are listed
in sorted order so that the same packages give the same corpus byte for byte.
Prints the packages read, with their versions, on standard output.

    extract_corpus.py OUT              text for training and validation
    extract_corpus.py --unseen OUT     text that training never reads, from
                                       other packages, to judge the tables on
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
    # Written in the Windows and DOS code pages that the detector learnt later.
    "sk": ["sk", "sk-SK"], "sl": ["sl", "sl-SI"], "hr": ["hr", "hr-HR"], "lt": ["lt", "lt-LT"],
    "lv": ["lv", "lv-LV"], "et": ["et", "et-EE"], "uk": ["uk", "uk-UA"],
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


def installed_files(packages):
    """(package, path) for every file of the installed packages; prints each package read with its version."""
    for package in packages:
        version = package_version(package)
        if version is None:
            continue
        print(f"{package}\t{version}")
        for path in package_files(package):
            yield package, path


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
NON_LATIN = {"ru", "bg", "el", "he", "ar", "th", "ja", "zh_CN", "zh_TW", "ko", "uk"}


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


# Text kept apart from training, to judge the detector on text it never saw:
# manual pages, the Debian reference, the GNOME user help and fortunes. None
# of these packages is read for training.
UNSEEN_PACKAGES = [
    "manpages", "manpages-cs", "manpages-da", "manpages-de", "manpages-el", "manpages-es", "manpages-fr",
    "manpages-hu", "manpages-it", "manpages-ja", "manpages-nb", "manpages-nl", "manpages-pl", "manpages-pt",
    "manpages-pt-br", "manpages-ro", "manpages-ru", "manpages-sv", "manpages-tr", "manpages-zh",
    "debian-reference-en", "debian-reference-de", "debian-reference-es", "debian-reference-fr",
    "debian-reference-it", "debian-reference-ja", "debian-reference-pt", "debian-reference-pt-br",
    "debian-reference-zh-cn", "debian-reference-zh-tw", "gnome-user-docs",
    "fortunes-bg", "fortunes-br", "fortunes-cs", "fortunes-de", "fortunes-es", "fortunes-it", "fortunes-pl",
    "fortunes-ru", "fortunes-zh",
]
FORTUNE_LANGUAGES = {"fortunes-bg": "bg", "fortunes-br": "pt", "fortunes-cs": "cs", "fortunes-de": "de",
                     "fortunes-es": "es", "fortunes-it": "it", "fortunes-pl": "pl", "fortunes-ru": "ru",
                     "fortunes-zh": "zh_CN"}

# Requests whose arguments are text; every other request line is dropped.
ROFF_TEXT_REQUESTS = re.compile(r"^[.'](?:SH|SS|TP|IP|B|I|BI|BR|IB|IR|RB|RI|SM|SB|UR|MT)\b ?")
# Escapes: fonts, sizes, strings and named characters; the few characters
# that matter in prose are kept, every other escape is dropped.
ROFF_ESCAPE = re.compile(r"\\(?:f(?:\[[^]]*\]|\(..|.)|s[-+]?\d+|\*(?:\(..|\[[^]]*\]|.)|\(..|\[[^]]*\]|.)")
ROFF_CHARS = {"\\-": "-", "\\e": "\\", "\\ ": " ", "\\~": " ", "\\(em": "\u2014", "\\(en": "\u2013",
              "\\(lq": "\u201c", "\\(rq": "\u201d", "\\(aq": "'"}


def roff_text(text):
    lines = []
    for line in text.splitlines():
        line = line.split('\\"', 1)[0]
        if line.startswith((".", "'")):
            request = ROFF_TEXT_REQUESTS.match(line)
            if not request:
                continue
            line = line[request.end():].replace('"', "")
        lines.append(ROFF_ESCAPE.sub(lambda m: ROFF_CHARS.get(m.group(0), ""), line))
    return clean("\n".join(lines))


# Manual pages of character sets are tables of every character, not text.
CHARSET_PAGE = re.compile(r"/man7/(?:iso[-_]?8859|koi8|cp125|ascii|armscii|latin\d|charsets|unicode|utf-?8)")
# UTF-8 that was read as Latin-1 and stored again ("CarrÃ\u00a0mba"): its bytes
# would be valid UTF-8 in any sample, whatever the encoding.
MOJIBAKE = re.compile("[\u00c2\u00c3][\u0080-\u00bf]")
MALLARD_DROP = re.compile(r"<(info|code|screen|cmd|media|synopsis)\b.*?</\1>", re.S)
ANSI_ESCAPE = re.compile(r"\x1b\[[0-9;]*[A-Za-z]")


# The Debian reference names its languages in lower case ("pt-br", "zh-cn").
def unseen_language(path):
    parts = re.split(r"[/.]", path)
    for lang, names in LANGUAGES.items():
        lowered = {name.lower() for name in names}
        if any(part.lower() in lowered for part in parts):
            return lang
    return None


def unseen_text(package, path):
    """The text of one file of a kept-apart package and its language, or None."""
    raw = open(path, "rb").read()
    if path.endswith(".gz"):
        raw = gzip.decompress(raw)
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        return None
    if package in FORTUNE_LANGUAGES:
        # Index files and ".u8" links to the text are skipped, and so are the
        # Slovak file of the Czech package and the offensive fortunes, which
        # are stored in ROT13, no language's text. The Chinese fortunes colour
        # their text with terminal escapes.
        if path.endswith((".dat", ".u8")) or "-sk" in os.path.basename(path) or "/off/" in path:
            return None
        text = ANSI_ESCAPE.sub("", text)
        return FORTUNE_LANGUAGES[package], clean("\n".join(l for l in text.splitlines() if l.strip() != "%"))
    if package.startswith("manpages"):
        if "/man/" not in path or CHARSET_PAGE.search(path):
            return None
        locale = path.split("/man/")[1].split("/")[0]
        lang = "en" if locale.startswith("man") else unseen_language(locale)
        return (lang, roff_text(text)) if lang else None
    lang = unseen_language(path.replace("/usr/share/", "/"))
    if lang is None:
        return None
    if path.endswith(".page"):
        return lang, html_text(MALLARD_DROP.sub(" ", text))
    if path.endswith(".html"):
        return lang, html_text(text)
    return None


def read_unseen():
    documents = {lang: [] for lang in LANGUAGES}
    for package, path in installed_files(UNSEEN_PACKAGES):
        found = unseen_text(package, path)
        if found is None:
            continue
        lang, text = found
        text = "\n".join(line for line in keep_language_lines(lang, text).splitlines() if not MOJIBAKE.search(line))
        if text and len(text) > 200:
            documents[lang].append((path, text))
    return documents


def write_documents(out_dir, documents):
    for lang, docs in documents.items():
        docs.sort()
        with io.open(os.path.join(out_dir, lang + ".txt"), "w", encoding="utf-8", newline="\n") as f:
            for name, text in docs:
                f.write("\x1e" + name + "\n" + text.replace("\x1e", " ") + "\n")


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--unseen":
        os.makedirs(sys.argv[2], exist_ok=True)
        write_documents(sys.argv[2], read_unseen())
        return
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    documents = {lang: [] for lang in LANGUAGES}
    for package, path in installed_files(DOC_PACKAGES):
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
    for package, path in installed_files(MO_PACKAGES):
        if not path.endswith(".mo"):
            continue
        locale = path.split("/usr/share/locale/")[-1].split("/")[0]
        lang = next((l for l, names in LANGUAGES.items() if locale in names), None)
        if lang is None:
            continue
        text = keep_language_lines(lang, mo_text(path))
        if text and len(text) > 200:
            documents[lang].append((path, text))
    write_documents(out_dir, documents)


if __name__ == "__main__":
    main()
