#!/usr/bin/env python3
"""Writes orchestral-excerpt.musicxml, the project's own sample score: twelve
parts over eighty measures of 4/4, each playing phrases between long rests,
with a two-staff piano, transposing instruments (clarinet and trumpet in B
flat, horn in F), tempo changes, articulations, slurs, dynamics, hairpins and
chord symbols. Deterministic: the same file every time."""

import random
from xml.sax.saxutils import escape

MEASURES = 80
DIVISIONS = 4  # a sixteenth is one division
STEPS = "CDEFGAB"

# name, abbreviation, clef (sign, line), transposition (diatonic, chromatic),
# playing ranges (first, last measure), lowest and highest written step
PARTS = [
    ("Flute", "Fl.", ("G", 2), None, [(1, 8), (31, 50), (71, 80)], 30, 42),
    ("Oboe", "Ob.", ("G", 2), None, [(17, 40), (61, 80)], 28, 38),
    ("Clarinet in B\u266d", "Cl.", ("G", 2), (-1, -2), [(1, 12), (27, 46), (65, 80)], 25, 37),
    ("Bassoon", "Bsn.", ("F", 4), None, [(1, 20), (37, 56), (73, 80)], 13, 24),
    ("Horn in F", "Hn.", ("G", 2), (-4, -7), [(9, 24), (45, 64)], 23, 32),
    ("Trumpet in B\u266d", "Tpt.", ("G", 2), (-1, -2), [(33, 44), (69, 80)], 25, 34),
    ("Timpani", "Timp.", ("F", 4), None, [(1, 4), (33, 36), (77, 80)], 15, 19),
    ("Violin I", "Vln. I", ("G", 2), None, [(1, 80)], 28, 42),
    ("Violin II", "Vln. II", ("G", 2), None, [(1, 24), (41, 80)], 25, 37),
    ("Viola", "Vla.", ("C", 3), None, [(1, 32), (53, 80)], 21, 32),
    ("Violoncello", "Vc.", ("F", 4), None, [(1, 80)], 13, 25),
]
PIANO = ("Piano", "Pno.", [(13, 28), (49, 60)])
TEMPI = {1: ("Andante", 96), 33: ("Pi\u00f9 mosso", 120), 57: ("Meno mosso", 84)}
DYNAMICS = {1: "p", 17: "mf", 33: "f", 49: "mp", 65: "f", 73: "ff"}
CHORDS = [("C", 0, "major"), ("A", 0, "minor"), ("F", 0, "major"), ("G", 0, "dominant")]


def pitch_xml(level):
    octave, step = divmod(level, 7)
    return f"<pitch><step>{STEPS[step]}</step><octave>{octave}</octave></pitch>"


def note(level, duration, type_name, extra="", notations="", staff=None, voice=1, rest=False):
    body = "<rest/>" if rest else pitch_xml(level)
    staff_xml = f"<staff>{staff}</staff>" if staff else ""
    notes = f"<notations>{notations}</notations>" if notations else ""
    return (f"<note>{body}<duration>{duration}</duration><voice>{voice}</voice>"
            f"<type>{type_name}</type>{extra}{staff_xml}{notes}</note>")


def whole_rest(staff=None, voice=1):
    staff_xml = f"<staff>{staff}</staff>" if staff else ""
    return (f"<note><rest measure=\"yes\"/><duration>{4 * DIVISIONS}</duration>"
            f"<voice>{voice}</voice>{staff_xml}</note>")


def playing(ranges, measure):
    return any(first <= measure <= last for first, last in ranges)


def phrase_measure(rng, low, high, level, measure, slurred, articulated):
    """Four beats: quarters, or a pair of eighths on some beats."""
    out = []
    for beat in range(4):
        if rng.random() < 0.35:
            for half in range(2):
                level = max(low, min(high, level + rng.choice([-1, 1, 1, 2, -2])))
                slur = ""
                if slurred and half == 0:
                    slur = '<slur type="start" number="1"/>'
                elif slurred and half == 1:
                    slur = '<slur type="stop" number="1"/>'
                out.append(note(level, DIVISIONS // 2, "eighth", notations=slur))
        else:
            level = max(low, min(high, level + rng.choice([-2, -1, 1, 2, 3, -3])))
            marks = ""
            if articulated and beat % 2 == 0:
                marks = "<articulations><staccato/></articulations>" if measure % 4 else \
                        "<articulations><accent/></articulations>"
            out.append(note(level, DIVISIONS, "quarter", notations=marks))
    return out, level


def direction(inner, placement="above", sound="", staff=None):
    staff_xml = f"<staff>{staff}</staff>" if staff else ""
    return (f'<direction placement="{placement}"><direction-type>{inner}</direction-type>'
            f"{staff_xml}{sound}</direction>")


def attributes(measure, clefs, transposition, staves=1):
    if measure != 1:
        return ""
    clef_xml = "".join(
        f'<clef number="{i + 1}"><sign>{sign}</sign><line>{line}</line></clef>' if staves > 1
        else f"<clef><sign>{sign}</sign><line>{line}</line></clef>"
        for i, (sign, line) in enumerate(clefs))
    staves_xml = f"<staves>{staves}</staves>" if staves > 1 else ""
    transpose = ""
    if transposition:
        transpose = (f"<transpose><diatonic>{transposition[0]}</diatonic>"
                     f"<chromatic>{transposition[1]}</chromatic></transpose>")
    key = "<key><fifths>0</fifths></key>"
    if transposition:
        fifths = {(-1, -2): 2, (-4, -7): 1}[transposition]
        key = f"<key><fifths>{fifths}</fifths></key>"
    return (f"<attributes><divisions>{DIVISIONS}</divisions>{key}"
            f"<time><beats>4</beats><beat-type>4</beat-type></time>{staves_xml}{clef_xml}"
            f"{transpose}</attributes>")


def single_staff_part(index, spec, rng):
    name, abbreviation, clef, transposition, ranges, low, high = spec
    measures = []
    level = (low + high) // 2
    strings = name.startswith(("Violin", "Viola", "Violon"))
    for m in range(1, MEASURES + 1):
        content = [attributes(m, [clef], transposition)]
        if index == 0 and m in TEMPI:
            words, bpm = TEMPI[m]
            content.append(direction(
                f"<words>{escape(words)}</words></direction-type><direction-type>"
                f"<metronome><beat-unit>quarter</beat-unit><per-minute>{bpm}</per-minute></metronome>",
                sound=f'<sound tempo="{bpm}"/>'))
        if playing(ranges, m):
            if m in DYNAMICS or not playing(ranges, m - 1):
                mark = DYNAMICS.get(m, "mf")
                content.append(direction(f"<dynamics><{mark}/></dynamics>", placement="below"))
            if (m % 8) == 5 and playing(ranges, m + 1):
                content.append(direction('<wedge type="crescendo"/>', placement="below"))
            if (m % 8) == 6 and playing(ranges, m - 1):
                content.append(direction('<wedge type="stop"/>', placement="below"))
            notes, level = phrase_measure(rng, low, high, level, m, slurred=not strings, articulated=strings)
            content.extend(notes)
        else:
            content.append(whole_rest())
        measures.append(f'<measure number="{m}">{"".join(content)}</measure>')
    return measures


def piano_part(rng):
    name, abbreviation, ranges = PIANO
    measures = []
    right, left = 32, 14
    for m in range(1, MEASURES + 1):
        content = [attributes(m, [("G", 2), ("F", 4)], None, staves=2)]
        if playing(ranges, m):
            root, alter, kind = CHORDS[m % len(CHORDS)]
            content.append(f"<harmony><root><root-step>{root}</root-step></root><kind>{kind}</kind>"
                           f"<staff>1</staff></harmony>")
            upper, right = phrase_measure(rng, 28, 40, right, m, slurred=True, articulated=False)
            content.extend(n.replace("</type>", "</type><staff>1</staff>", 1) for n in upper)
            content.append(f"<backup><duration>{4 * DIVISIONS}</duration></backup>")
            for beat in range(2):
                left = max(7, min(18, left + rng.choice([-3, -2, 2, 3])))
                content.append(note(left, 2 * DIVISIONS, "half", staff=2, voice=5))
        else:
            content.append(whole_rest(staff=1))
            content.append(f"<backup><duration>{4 * DIVISIONS}</duration></backup>")
            content.append(whole_rest(staff=2, voice=5))
        measures.append(f'<measure number="{m}">{"".join(content)}</measure>')
    return measures


def instrument(pid, name):
    # Readers give a part without one no instrument and say so on import.
    return f'<score-instrument id="{pid}-I1"><instrument-name>{escape(name)}</instrument-name></score-instrument>'


def main():
    rng = random.Random(80)
    part_list = []
    parts = []
    specs = PARTS[:7] + [None] + PARTS[7:]
    for number, spec in enumerate(specs, start=1):
        pid = f"P{number}"
        if spec is None:
            part_list.append(f'<score-part id="{pid}"><part-name>Piano</part-name>'
                             f"<part-abbreviation>Pno.</part-abbreviation>{instrument(pid, 'Piano')}</score-part>")
            measures = piano_part(rng)
        else:
            if spec[0] == "Violin I":
                part_list.append('<part-group type="start" number="1"><group-name>Strings</group-name>'
                                 "<group-symbol>bracket</group-symbol></part-group>")
            part_list.append(f'<score-part id="{pid}"><part-name>{escape(spec[0])}</part-name>'
                             f"<part-abbreviation>{escape(spec[1])}</part-abbreviation>"
                             f"{instrument(pid, spec[0])}</score-part>")
            measures = single_staff_part(number - 1, spec, rng)
        parts.append(f'<part id="{pid}">{"".join(measures)}</part>')
    part_list.append('<part-group type="stop" number="1"/>')
    xml = ('<?xml version="1.0" encoding="UTF-8" standalone="no"?>\n'
           '<!DOCTYPE score-partwise PUBLIC "-//Recordare//DTD MusicXML 4.0 Partwise//EN" '
           '"http://www.musicxml.org/dtds/partwise.dtd">\n'
           '<score-partwise version="4.0"><work><work-title>Ostinel sample: an orchestral excerpt</work-title>'
           '</work><identification><creator type="composer">Ostinel project</creator>'
           '<rights>Written for the Ostinel project; free to use.</rights></identification>'
           f'<part-list>{"".join(part_list)}</part-list>{"".join(parts)}</score-partwise>\n')
    with open("orchestral-excerpt.musicxml", "w", encoding="utf-8") as out:
        out.write(xml)


if __name__ == "__main__":
    main()
