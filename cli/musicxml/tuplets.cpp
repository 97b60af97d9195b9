#include "tuplets.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <numeric>

#include "quivra/qx_records.h"

namespace ostinel_cli {

namespace {

struct Bracket {
  size_t first;
  size_t last;
  int64_t actual = 0;  // 0: not known yet
  int64_t normal = 0;
  bool valid = true;
};

// The typed value under a ratio agrees with the time the entry takes. Where
// the divisions cannot hold that time exactly, a writer rounds it to a
// neighbouring division (a triplet sixteenth is 42 or 43 of 256).
bool Agrees(const TupletEntry& entry, int64_t actual, int64_t normal) {
  if (entry.typed == 0 || entry.measureRest || actual <= 0 || normal <= 0) return false;
  const int64_t exact = int64_t{entry.typed} * normal * entry.divisions;
  const bool inexact = exact % (actual * kQXQuarter) != 0;
  const int64_t tolerance = inexact ? kQXQuarter / std::max(entry.divisions, 1) + 1 : 2;
  return std::llabs(int64_t{entry.typed} * normal / actual - entry.units) < tolerance;
}

void Reduce(int64_t* actual, int64_t* normal) {
  const int64_t g = std::gcd(*actual, *normal);
  if (g > 1) *actual /= g, *normal /= g;
}

class Grouping {
 public:
  explicit Grouping(const std::vector<TupletEntry>& entries) : m_entries(entries) {
    m_result.notated.resize(entries.size());
    m_covered.assign(entries.size(), false);
  }

  TupletResult Run() {
    ReadBrackets();
    InferRatios();
    while (DropDisagreeing()) {
    }
    for (const Bracket& bracket : m_brackets) {
      if (!bracket.valid) continue;
      Add(bracket.first, bracket.last, bracket.actual, bracket.normal);
      for (size_t i = bracket.first; i <= bracket.last; ++i) m_covered[i] = true;
    }
    for (size_t i = 0; i < m_entries.size(); ++i) {
      const TupletEntry& entry = m_entries[i];
      if (m_covered[i]) {
        m_result.notated[i] = entry.timed ? entry.typed : Untimed(entry);
      } else if (!entry.timed) {
        m_result.notated[i] = Untimed(entry);
      } else {
        m_result.notated[i] = Agrees(entry, entry.actual, entry.normal) ? entry.typed : static_cast<int>(entry.units);
      }
    }
    GroupUnbracketed();
    std::stable_sort(m_result.groups.begin(), m_result.groups.end(), [](const TupletGroup& a, const TupletGroup& b) {
      return a.first != b.first ? a.first < b.first : a.count > b.count;
    });
    return m_result;
  }

 private:
  static int Untimed(const TupletEntry& entry) { return entry.typed > 0 ? entry.typed : static_cast<int>(entry.units); }

  void Add(size_t first, size_t last, int64_t actual, int64_t normal) {
    m_result.groups.push_back(TupletGroup{first, static_cast<int>(last - first + 1), static_cast<int>(actual),
                                          static_cast<int>(normal)});
  }

  void ReadBrackets() {
    std::map<int, Bracket> open;
    for (size_t i = 0; i < m_entries.size(); ++i) {
      for (const TupletMark& mark : m_entries[i].marks) {
        if (!mark.start) continue;
        const auto running = open.find(mark.number);
        if (running != open.end() && i > running->second.first) {
          running->second.last = i - 1;
          m_brackets.push_back(running->second);
        }
        open[mark.number] = Bracket{i, i, mark.actual, mark.normal};
      }
      for (const TupletMark& mark : m_entries[i].marks) {
        if (mark.start) continue;
        const auto running = open.find(mark.number);
        if (running == open.end()) continue;
        running->second.last = i;
        m_brackets.push_back(running->second);
        open.erase(running);
      }
    }
  }

  // The brackets around an entry, outermost first.
  std::vector<size_t> Chain(size_t entry) const {
    std::vector<size_t> chain;
    for (size_t b = 0; b < m_brackets.size(); ++b) {
      if (m_brackets[b].valid && m_brackets[b].first <= entry && entry <= m_brackets[b].last) chain.push_back(b);
    }
    std::sort(chain.begin(), chain.end(), [&](size_t a, size_t b) {
      const Bracket& x = m_brackets[a];
      const Bracket& y = m_brackets[b];
      return x.first != y.first ? x.first < y.first : x.last > y.last;
    });
    return chain;
  }

  // A bracket without its own ratio takes what its notes leave over once the
  // known brackets around them are taken out.
  void InferRatios() {
    for (bool changed = true; changed;) {
      changed = false;
      for (size_t i = 0; i < m_entries.size(); ++i) {
        const TupletEntry& entry = m_entries[i];
        if (!entry.timed || (entry.actual == 1 && entry.normal == 1)) continue;
        const std::vector<size_t> chain = Chain(i);
        int64_t actual = 1, normal = 1;
        size_t unknown = 0;
        int unknowns = 0;
        for (const size_t b : chain) {
          if (m_brackets[b].actual > 0) {
            actual *= m_brackets[b].actual;
            normal *= m_brackets[b].normal;
          } else {
            unknown = b;
            ++unknowns;
          }
        }
        if (unknowns != 1) continue;
        // The time modification as the whole nesting's effect ...
        int64_t cumulativeActual = int64_t{entry.actual} * normal;
        int64_t cumulativeNormal = int64_t{entry.normal} * actual;
        Reduce(&cumulativeActual, &cumulativeNormal);
        Bracket& bracket = m_brackets[unknown];
        bracket.actual = cumulativeActual;
        bracket.normal = cumulativeNormal;
        // ... or, from some writers, as the innermost bracket's alone.
        if (!Agrees(entry, entry.actual, entry.normal) && unknown == chain.back() &&
            Agrees(entry, actual * entry.actual, normal * entry.normal)) {
          bracket.actual = entry.actual;
          bracket.normal = entry.normal;
        }
        changed = true;
      }
    }
    for (Bracket& bracket : m_brackets) {
      if (bracket.actual <= 0 || bracket.normal <= 0 || bracket.actual > 0xFFFF || bracket.normal > 0xFFFF) {
        bracket.valid = false;
      }
    }
  }

  // A bracket holding a note whose type does not agree with its time under
  // the brackets around it is dropped; true when one was.
  bool DropDisagreeing() {
    for (size_t i = 0; i < m_entries.size(); ++i) {
      if (!m_entries[i].timed) continue;
      const std::vector<size_t> chain = Chain(i);
      if (chain.empty()) continue;
      int64_t actual = 1, normal = 1;
      for (const size_t b : chain) {
        actual *= m_brackets[b].actual;
        normal *= m_brackets[b].normal;
      }
      if (Agrees(m_entries[i], actual, normal)) continue;
      m_brackets[chain.back()].valid = false;
      return true;
    }
    return false;
  }

  // Notes of one ratio outside any bracket: a tuplet fills one unit of its
  // normal notes (the normal type's, else the first note's value).
  void GroupUnbracketed() {
    bool open = false;
    size_t first = 0, last = 0;
    int actual = 1, normal = 1;
    int64_t filled = 0, unit = 0;
    auto close = [&]() {
      if (open) Add(first, last, actual, normal);
      open = false;
    };
    for (size_t i = 0; i < m_entries.size(); ++i) {
      const TupletEntry& entry = m_entries[i];
      if (!entry.timed && open) continue;  // a grace note inside the run
      if (m_covered[i] || !entry.timed || (entry.actual == 1 && entry.normal == 1) ||
          m_result.notated[i] != entry.typed || !Agrees(entry, entry.actual, entry.normal)) {
        close();
        continue;
      }
      if (open && (actual != entry.actual || normal != entry.normal)) close();
      if (!open) {
        open = true;
        first = i;
        actual = entry.actual;
        normal = entry.normal;
        filled = 0;
        unit = entry.normalType != 0 ? entry.normalType : m_result.notated[i];
      }
      last = i;
      filled += m_result.notated[i];
      if (filled >= unit * actual) close();
    }
    close();
  }

  const std::vector<TupletEntry>& m_entries;
  std::vector<Bracket> m_brackets;
  std::vector<bool> m_covered;
  TupletResult m_result;
};

}  // namespace

TupletResult GroupTuplets(const std::vector<TupletEntry>& entries) { return Grouping(entries).Run(); }

}  // namespace ostinel_cli
