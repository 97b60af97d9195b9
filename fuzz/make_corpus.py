#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpus (fuzz/corpus/<target>/): small inputs
that reach each target's main paths, from which the fuzzer mutates."""
import io
import os
import struct
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def caret_text():
    usual = b"\x00\x00\x00"
    texts = {
        "plain": b"Flute",
        "font-size-efx": b"^font(Arial)^size(10)^efx(italic)*** 8 measures of rest ***",
        "accidentals": b"Cl. in B^flat() / F^sharp()",
        "line-breaks": b"Vln.\nI\r\n^font(Times)II",
        "open-command": b"Hn. ^font(Arial",
        "lone-caret": b"50% ^ off",
        "long": b"^font(Maestro)" + b"x" * 300 + b"^flat()" + b"y" * 20,
    }
    for index, (name, text) in enumerate(texts.items()):
        write("caret_text_fuzz", name, usual + bytes([index % 4]) + text)
    # Other command characters: < [ ] as command, opening and closing.
    write("caret_text_fuzz", "other-characters", bytes([0x80 | ord("<"), 0x80 | ord("["), 0x80 | ord("]"), 1]) +
          b"<font[Arial]Ob.<flat[]")


def records():
    # Every companion present, then a map of the seven playback fields.
    companions = b""
    for i in range(4):
        companions += b"\x01" + struct.pack("<6H", *(i * 10 + w for w in range(6))) + b"\x01"
    fields = [(b"13", 0, 1, 2), (b"39", 2, 3, 2), (b"36", 4, 0, 2), (b"36", 6, 5, 2), (b"37", 8, 0, 2),
              (b"37", 10, 1, 4), (b"37", 14, 2, 2)]
    field_map = bytes([len(fields)])
    for chars, offset, word, size in fields:
        field_map += struct.pack("<H2sHHhhhI", 0, chars, 0, 0, offset, word, size, 2 if size == 4 else 0)
        field_map += b"\x00\x00\x00"  # keep the characters and the key as given
    calls = b""
    for selector, size in ((0, 66), (1, 102), (2, 26), (3, 48), (5, 12), (11, 14)):
        calls += b"\x01" + bytes([selector]) + b"\x01\x08" + b"\x01" + bytes([size]) + b"\x00\x00\x00\x00"
        calls += bytes(size) + bytes([selector % 4])
    write("records_fuzz", "playback-map", companions + field_map + calls)
    write("records_fuzz", "no-companions", b"\x00\x00\x00\x00\x03" + bytes(3 * 21))


def entry(notes, count=None, flags=0x40000000, duration=1024):
    """A 146-byte entry: number, duration, host word, flags, flags2, note count,
    12 note slots, position, length, host word."""
    raw = struct.pack("<IHHIHh", 0, duration, 0, flags, 0, len(notes) if count is None else count)
    for word0, word1, note_id, note_flags in notes + [(0, 0, 0, 0)] * (12 - len(notes)):
        raw += struct.pack("<HHhI", word0, word1, note_id, note_flags)
    raw += struct.pack("<iiH", 0, 0, 0)
    assert len(raw) == 146
    return raw


def frames():
    chords = [entry([(0, 0, 3, 0), (2, 0, 3, 0), (4, 0, 0, 0)]), entry([]), entry([(7, 1, 31, 0xFFFFFFFF)])]
    write("frames_fuzz", "save", bytes([len(chords)]) + b"".join(chords) + b"\x00")
    write("frames_fuzz", "insert", bytes([1]) + entry([(0, 0, 0, 0)] * 12) + b"\x01\x01\x00\x02")
    write("frames_fuzz", "odd-counts", bytes([2]) + entry([(1, 0, 1, 0)], count=-3) + entry([], count=40) + b"\x00")


def musicxml():
    notes = "".join(
        f"<note><pitch><step>{s}</step><octave>5</octave></pitch><duration>1</duration><voice>1</voice>"
        f"<type>quarter</type></note>" for s in "CDEF")
    triplet = "".join(
        f"<note><pitch><step>G</step><octave>4</octave></pitch><duration>2</duration><voice>1</voice>"
        f"<type>eighth</type><time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes>"
        f"</time-modification>{n}</note>" for n in (
            "<notations><tuplet type=\"start\"/><slur type=\"start\"/></notations>", "",
            "<notations><tuplet type=\"stop\"/><slur type=\"stop\"/></notations>"))
    attributes = ("<attributes><divisions>3</divisions><key><fifths>-1</fifths></key><time><beats>4</beats>"
                  "<beat-type>4</beat-type></time><clef><sign>G</sign><line>2</line></clef></attributes>")
    rest = "<note><rest measure=\"yes\"/><duration>12</duration><voice>1</voice></note>"
    chord = ("<note><pitch><step>C</step><octave>4</octave></pitch><duration>6</duration><voice>1</voice>"
             "<type>half</type><lyric><syllabic>single</syllabic><text>la</text></lyric></note>"
             "<note><chord/><pitch><step>E</step><alter>-1</alter><octave>4</octave></pitch><duration>6</duration>"
             "<voice>1</voice><type>half</type><notations><articulations><accent/></articulations></notations></note>")
    cue = ("<note><cue/><pitch><step>A</step><octave>4</octave></pitch><duration>6</duration><voice>2</voice>"
           "<type size=\"cue\">half</type></note>")
    score = ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"4.0\"><part-list>"
             "<part-group type=\"start\" number=\"1\"><group-name>Winds</group-name></part-group>"
             "<score-part id=\"P1\"><part-name>Flute</part-name><part-abbreviation>Fl.</part-abbreviation>"
             "</score-part><score-part id=\"P2\"><part-name>Clarinet in Bb</part-name></score-part>"
             "<part-group type=\"stop\" number=\"1\"/><score-part id=\"P3\"><part-name>Piano</part-name>"
             "</score-part></part-list>"
             f"<part id=\"P1\"><measure number=\"1\">{attributes}<direction><direction-type><metronome>"
             "<beat-unit>quarter</beat-unit><per-minute>96</per-minute></metronome></direction-type>"
             f"<sound tempo=\"96\"/></direction>{notes}</measure><measure number=\"2\">{triplet}"
             "<note><pitch><step>A</step><octave>4</octave></pitch><duration>6</duration><voice>1</voice>"
             "<type>half</type></note></measure></part>"
             f"<part id=\"P2\"><measure number=\"1\">{attributes.replace('</attributes>', '<transpose><diatonic>-1</diatonic><chromatic>-2</chromatic></transpose></attributes>')}"
             f"{rest}</measure><measure number=\"2\"><direction><direction-type><dynamics><p/></dynamics>"
             "</direction-type></direction><direction><direction-type><wedge type=\"crescendo\"/></direction-type>"
             f"</direction>{chord}<backup><duration>6</duration></backup>{cue}<note><rest/><duration>6</duration>"
             "<voice>1</voice></note></measure></part>"
             "<part id=\"P3\"><measure number=\"1\"><attributes><divisions>1</divisions><staves>2</staves>"
             "<clef number=\"1\"><sign>G</sign><line>2</line></clef><clef number=\"2\"><sign>F</sign><line>4</line>"
             "</clef></attributes><harmony><root><root-step>F</root-step></root><kind>major</kind></harmony>"
             "<note><pitch><step>F</step><octave>4</octave></pitch><duration>4</duration><voice>1</voice>"
             "<type>whole</type><staff>1</staff></note><backup><duration>4</duration></backup>"
             "<note><rest/><duration>4</duration><voice>5</voice><staff>2</staff></note></measure>"
             "<measure number=\"2\"><attributes><clef number=\"2\"><sign>C</sign><line>3</line></clef></attributes>"
             "<note><rest measure=\"yes\"/><duration>4</duration><voice>1</voice><staff>1</staff></note>"
             "<backup><duration>4</duration></backup><note><pitch><step>C</step><octave>3</octave></pitch>"
             "<duration>4</duration><voice>5</voice><type>whole</type><staff>2</staff></note></measure></part>"
             "</score-partwise>\n")
    write("musicxml_fuzz", "three-parts.musicxml", score.encode())
    write("musicxml_fuzz", "utf16.musicxml", score.replace("UTF-8", "UTF-16").encode("utf-16"))
    packed = io.BytesIO()
    with zipfile.ZipFile(packed, "w") as archive:
        archive.writestr("mimetype", "application/vnd.recordare.musicxml")
        archive.writestr("META-INF/container.xml",
                         "<container><rootfiles><rootfile full-path=\"score.xml\"/></rootfiles></container>")
        archive.writestr("score.xml", score, compress_type=zipfile.ZIP_DEFLATED)
    write("musicxml_fuzz", "three-parts.mxl", packed.getvalue())
    write("musicxml_fuzz", "timewise.musicxml", b"<score-timewise/>")


if __name__ == "__main__":
    caret_text()
    records()
    frames()
    musicxml()
