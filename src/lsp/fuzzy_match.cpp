#include "lsp/fuzzy_match.h"

namespace quillmap::lsp {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualAt(std::string_view name, size_t at, std::string_view typed) {
  if (at + typed.size() > name.size()) return false;
  for (size_t k = 0; k < typed.size(); ++k) {
    if (Lower(name[at + k]) != Lower(typed[k])) return false;
  }
  return true;
}

// A word of a C name starts after '_' or at a capital that follows a small letter.
bool StartsWord(std::string_view name, size_t at) {
  if (at == 0) return true;
  const char before = name[at - 1];
  return before == '_' || (before >= 'a' && before <= 'z' && name[at] >= 'A' && name[at] <= 'Z');
}

// Whether the typed letters stand in the name in order: most names of a large tree fail this
// at once, before any ranking.
bool HasInOrder(std::string_view typed, std::string_view name) {
  size_t at = 0;
  for (const char c : typed) {
    const char lower = Lower(c);
    while (at < name.size() && Lower(name[at]) != lower) ++at;
    if (at == name.size()) return false;
    ++at;
  }
  return true;
}

}  // namespace

bool HasLettersInOrder(std::string_view typedLower, std::string_view nameLower) {
  size_t at = 0;
  for (const char c : typedLower) {
    const size_t found = nameLower.find(c, at);
    if (found == std::string_view::npos) return false;
    at = found + 1;
  }
  return true;
}

std::string ToLower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = Lower(c);
  return lowered;
}

int FuzzyScore(std::string_view typed, std::string_view name) {
  if (typed.empty()) return 0;
  if (typed.size() > name.size() || !HasInOrder(typed, name)) return kNoMatch;
  // Scores are kept apart by class; within one, shorter names and earlier matches win.
  const int lengthPenalty = static_cast<int>(name.size() - typed.size());
  if (EqualAt(name, 0, typed)) {
    if (typed.size() == name.size()) return typed == name ? 4001 : 4000;
    return 3000 - lengthPenalty;
  }
  size_t substring = std::string_view::npos;
  for (size_t at = 1; at + typed.size() <= name.size(); ++at) {
    if (!EqualAt(name, at, typed)) continue;
    if (StartsWord(name, at)) return 2500 - lengthPenalty - static_cast<int>(at);
    if (substring == std::string_view::npos) substring = at;
  }
  if (substring != std::string_view::npos) {
    return 2000 - lengthPenalty - static_cast<int>(substring);
  }
  // Scattered letters: each typed letter found after the last; gaps and non-word starts cost.
  int score = 1000 - lengthPenalty;
  size_t at = 0;
  for (const char c : typed) {
    const size_t from = at;
    while (at < name.size() && Lower(name[at]) != Lower(c)) ++at;
    if (at == name.size()) return kNoMatch;
    if (at > from) score -= 2;
    if (!StartsWord(name, at)) score -= 1;
    ++at;
  }
  return score > 0 ? score : 1;
}

}  // namespace quillmap::lsp
