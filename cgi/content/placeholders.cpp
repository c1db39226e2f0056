// Placeholder substitution; see placeholders.h.
//
// Done literally, one whole-text replacement per name costs a pass over the
// whole text for every field, and a form with many fields makes that
// quadratic. The engine below gets the same result from the text's shape:
//
// - The text is a list of tokens: runs of "#" and the segments between them.
//   For a name without "#", "##name##" stands exactly where a segment equal
//   to the name has at least two "#" on either side. So each segment is
//   looked up once, by hash, when it comes into being, and is queued for the
//   next step of its name; a step touches only its queued segments.
// - Replacing one splices the value's tokens in and merges what became
//   adjacent, which may form new segments (the cascade), queued in turn.
//   Merging is constant time: segments are chains of pieces, and their
//   hashes combine.
// - A name the token view cannot see (empty, holding "#", or, in HTML,
//   holding "<" or ">", which would move the markup context) takes one plain
//   pass over the text, as the definition has it.
//
// Every byte the engine inserts and every byte a plain pass reads counts
// against a work budget proportional to the text's bound, so even a post
// built to make the cascade churn ends in bounded time.
//
// Cutting a text into tokens costs some twenty times a plain search of it,
// so a short text with few names (a page, the built-in layouts of a small
// form) takes the definition's passes directly; once the text has grown
// past that size, the engine takes the steps that are left.
#include "content/placeholders.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <utility>

#include "core/keyed_hash.h"
#include "core/text.h"

namespace quillo {
namespace {

constexpr char kMark = '#';
constexpr std::string_view kPlaceholderEdge = "##";
constexpr std::uint32_t kEdgeLength = 2;
constexpr std::uint32_t kNone = UINT32_MAX;
// Work units per byte of the text's bound: a real text needs a few passes;
// a post that needs more only makes the cascade churn.
constexpr std::size_t kWorkPerBoundByte = 4;
// Tokens a substitution may add to those of its text: the bound on growth
// in bytes does not bound them, as a value of "#a#a..." makes a token of
// every byte. Real texts add a few per placeholder.
constexpr std::size_t kMaxAddedTokens = kMaxSubstitutionGrowth / 16;
// Names, and bytes of text, up to which plain passes are cheaper than the
// engine's tokens: the fixed names and those of a form of twenty fields.
constexpr std::size_t kDirectSteps = 32;
constexpr std::size_t kDirectTextBytes = 64 * 1024;

bool StartsTag(char c) { return c == '<'; }
bool EndsTag(char c) { return c == '>'; }

std::string Escaped(std::string_view value, Target target, bool in_tag) {
  if (target == Target::PlainText) return std::string(value);
  return in_tag ? EscapeHtmlAttribute(value) : EscapeHtml(value);
}

[[noreturn]] void Refuse(const char* what) { throw SubstitutionTooLarge{what}; }

std::string PlaceholderOf(std::string_view name) {
  return std::string(kPlaceholderEdge).append(name).append(kPlaceholderEdge);
}

// --- hashing: a polynomial hash modulo the Mersenne prime 2^61 - 1, so that
// the hash of two joined segments follows from theirs in constant time. Its
// base is drawn for each run: two texts of length n then share a hash with a
// chance of n in 2^61, however they were chosen, where a fixed base lets an
// attacker compute colliding names in advance ---

__extension__ typedef unsigned __int128 Wide;
constexpr std::uint64_t kModulus = (std::uint64_t{1} << 61) - 1;
constexpr int kModulusBits = 61;

std::uint64_t HashBase() {
  static const std::uint64_t base = 2 + RunHashKey().k0 % (kModulus - 3);
  return base;
}

std::uint64_t MulMod(std::uint64_t a, std::uint64_t b) {
  const Wide product = static_cast<Wide>(a) * b;
  std::uint64_t folded =
      static_cast<std::uint64_t>(product & kModulus) + static_cast<std::uint64_t>(product >> kModulusBits);
  return folded >= kModulus ? folded - kModulus : folded;
}

std::uint64_t AddMod(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t sum = a + b;
  return sum >= kModulus ? sum - kModulus : sum;
}

std::uint64_t BasePower(std::size_t exponent) {
  std::uint64_t result = 1;
  std::uint64_t square = HashBase();
  for (; exponent > 0; exponent >>= 1) {
    if (exponent & 1) result = MulMod(result, square);
    square = MulMod(square, square);
  }
  return result;
}

std::uint64_t HashOf(std::string_view bytes) {
  std::uint64_t hash = 0;
  const std::uint64_t base = HashBase();
  for (char c : bytes) hash = AddMod(MulMod(hash, base), static_cast<unsigned char>(c) + 1u);
  return hash;
}

std::uint64_t Joined(std::uint64_t left, std::uint64_t right, std::size_t right_length) {
  return AddMod(MulMod(left, BasePower(right_length)), right);
}

// --- the token list ---

enum class Kind : std::uint8_t { kEnd, kRun, kSegment };

// A piece of a segment's bytes; a segment is a chain of pieces. Texts are
// bounded far below 4 GiB, so 32 bits hold every length.
struct Piece {
  const char* data = nullptr;
  std::uint32_t size = 0;
  std::uint32_t next = kNone;
  std::string_view bytes() const { return {data, size}; }
};

// Slots are reused; a slot's generation changes whenever its token is made
// or freed or a segment's bytes change, each time to a number never given
// before in the run, so a queue entry made earlier, even before the list
// was made anew, is known stale.
struct Token {
  std::uint64_t hash = 0;
  std::uint32_t generation = 0;
  std::uint32_t prev = kNone;
  std::uint32_t next = kNone;
  std::uint32_t length = 0;  // bytes; for a run, the number of "#"
  std::uint32_t first_piece = kNone;
  std::uint32_t last_piece = kNone;
  Kind kind = Kind::kEnd;
  bool in_tag = false;  // segments: inside a tag after their last byte
  bool marked = false;  // a candidate of the step being applied
};

struct Ref {
  std::uint32_t id;
  std::uint32_t generation;
};

// A token still to be made: what a text or a value cuts into.
struct Shape {
  Kind kind;
  bool in_tag;
  std::string_view bytes;  // a run's "#" or a segment's bytes
};

// Cuts text into runs and segments, following the markup context when
// track_tags is set.
//
// A lone "#" between two segments of the text is kept inside one segment
// with them: neither neighbour can ever be replaced (each needs "##" on that
// side), so the run can never grow, and nothing around it ever changes but
// the two outer ends, which a joined segment keeps. Such a segment holds a
// "#" and so is no name. The built-in layout's colours (bgcolor=#C0C0C0) and
// a value of "#a#a#a..." are then one token each instead of one per "#".
//
// Each shape goes to emit as soon as it is complete, so that a large text
// is never held as a list of shapes as well as of tokens.
template <typename Emit>
void CutInto(std::string_view text, bool track_tags, Emit&& emit) {
  Shape open{Kind::kEnd, false, {}};  // the last shape, which a lone "#" may still join
  bool in_tag = false;
  std::size_t from = 0;
  while (from < text.size()) {
    const bool run = text[from] == kMark;
    std::size_t to = from;
    for (; to < text.size() && (text[to] == kMark) == run; ++to) {
      if (track_tags && StartsTag(text[to])) in_tag = true;
      if (track_tags && EndsTag(text[to])) in_tag = false;
    }
    // Runs and segments alternate: a run follows a segment, and a segment
    // after a segment follows a joined "#".
    const bool lone_mark_inside = run && to - from == 1 && open.kind == Kind::kSegment && to < text.size();
    const bool after_joined_mark = !run && open.kind == Kind::kSegment;
    if (lone_mark_inside || after_joined_mark) {
      const std::size_t start = static_cast<std::size_t>(open.bytes.data() - text.data());
      open.bytes = text.substr(start, to - start);
      open.in_tag = in_tag;
    } else {
      if (open.kind != Kind::kEnd) emit(open);
      open = {run ? Kind::kRun : Kind::kSegment, in_tag, text.substr(from, to - from)};
    }
    from = to;
  }
  if (open.kind != Kind::kEnd) emit(open);
}

std::vector<Shape> Cut(std::string_view text, bool track_tags) {
  std::vector<Shape> shapes;
  CutInto(text, track_tags, [&](const Shape& shape) { shapes.push_back(shape); });
  return shapes;
}

// A name the token view handles: a whole segment, and one that cannot move
// the markup context when it is replaced.
bool IsSegmentName(std::string_view name, Target target) {
  if (name.empty() || name.find(kMark) != std::string_view::npos) return false;
  return target == Target::PlainText || name.find_first_of("<>") == std::string_view::npos;
}

class Engine {
 public:
  Engine(const std::vector<PlaceholderValue>& values, Target target, std::size_t max_size)
      : values_(values),
        target_(target),
        max_size_(max_size),
        max_work_(kWorkPerBoundByte * max_size_),
        queued_(values.size()),
        form_of_step_(2 * values.size(), kNone) {
    IndexNames();
  }

  std::string Run(std::string_view text) {
    Reset(text);
    for (std::size_t step = 0; step < values_.size(); ++step) {
      step_ = static_cast<long>(step);
      if (segment_step_[step]) {
        ApplySegmentStep(step);
      } else {
        ApplyPlainStep(step);
      }
    }
    return Text();
  }

 private:
  // A name of the token view and the first step that replaces it; the
  // later ones follow through next_step_.
  struct Name {
    std::string_view bytes;
    std::uint32_t first_step;
  };
  // A value as inserted in one context, cut once.
  struct Form {
    std::size_t length = 0;
    std::vector<Shape> shapes;
  };

  void IndexNames() {
    segment_step_.resize(values_.size());
    next_step_.assign(values_.size(), kNone);
    std::vector<std::uint32_t> last_step;  // by name
    for (std::size_t step = 0; step < values_.size(); ++step) {
      const std::string_view name = values_[step].name;
      segment_step_[step] = IsSegmentName(name, target_);
      if (!segment_step_[step]) continue;
      const std::uint64_t hash = HashOf(name);
      std::uint32_t id = names_index_.Find(hash, [&](std::uint32_t n) { return names_[n].bytes == name; });
      if (id == HashIndex::kNotFound) {
        id = static_cast<std::uint32_t>(names_.size());
        names_.push_back({name, static_cast<std::uint32_t>(step)});
        last_step.push_back(static_cast<std::uint32_t>(step));
        names_index_.Insert(hash, id);
        longest_name_ = std::max(longest_name_, name.size());
      } else {
        next_step_[last_step[id]] = static_cast<std::uint32_t>(step);
        last_step[id] = static_cast<std::uint32_t>(step);
      }
    }
  }

  // --- tokens and pieces ---

  Token& At(std::uint32_t id) { return tokens_[id]; }
  // Bounded by the work budget, far below 2^32.
  std::uint32_t NextGeneration() { return ++generations_; }
  bool IsRun(std::uint32_t id) { return At(id).kind == Kind::kRun; }
  bool IsEmptyRun(std::uint32_t id) { return IsRun(id) && At(id).length == 0; }
  bool IsCurrent(Ref ref) {
    return ref.id < tokens_.size() && At(ref.id).generation == ref.generation &&
           At(ref.id).kind != Kind::kEnd;
  }
  Ref RefTo(std::uint32_t id) { return {id, At(id).generation}; }

  std::uint32_t NewToken(Kind kind) {
    std::uint32_t id;
    if (free_tokens_.empty()) {
      if (tokens_.size() > max_tokens_) Refuse("placeholders make the text too large");
      tokens_.emplace_back();
      id = static_cast<std::uint32_t>(tokens_.size() - 1);
    } else {
      id = free_tokens_.back();
      free_tokens_.pop_back();
    }
    At(id) = Token{};
    At(id).kind = kind;
    At(id).generation = NextGeneration();
    return id;
  }

  // Frees a token unlinked from the list; with_pieces when its bytes go too.
  void FreeToken(std::uint32_t id, bool with_pieces) {
    Token& token = At(id);
    if (with_pieces) {
      for (std::uint32_t piece = token.first_piece; piece != kNone; piece = pieces_[piece].next) {
        free_pieces_.push_back(piece);
      }
    }
    token.kind = Kind::kEnd;
    token.generation = NextGeneration();
    free_tokens_.push_back(id);
  }

  std::uint32_t NewPiece(std::string_view bytes) {
    const Piece made{bytes.data(), static_cast<std::uint32_t>(bytes.size()), kNone};
    if (free_pieces_.empty()) {
      pieces_.push_back(made);
      return static_cast<std::uint32_t>(pieces_.size() - 1);
    }
    const std::uint32_t piece = free_pieces_.back();
    free_pieces_.pop_back();
    pieces_[piece] = made;
    return piece;
  }

  void Link(std::uint32_t left, std::uint32_t right) {
    At(left).next = right;
    At(right).prev = left;
  }

  std::uint32_t Make(const Shape& shape) {
    const std::uint32_t id = NewToken(shape.kind);
    std::uint32_t piece = kNone;
    if (shape.kind == Kind::kSegment) piece = NewPiece(shape.bytes);
    Token& token = At(id);
    token.length = static_cast<std::uint32_t>(shape.bytes.size());
    token.in_tag = shape.in_tag;
    if (shape.kind == Kind::kSegment) {
      token.first_piece = token.last_piece = piece;
      token.hash = HashOf(shape.bytes);
    }
    return id;
  }

  // Makes a shape's token after last and queues it when it is a segment.
  std::uint32_t Append(std::uint32_t last, const Shape& shape) {
    const std::uint32_t id = Make(shape);
    Link(last, id);
    if (shape.kind == Kind::kSegment) Queue(id);
    return id;
  }

  // Makes the shapes' tokens between left and right.
  void Splice(std::uint32_t left, const std::vector<Shape>& shapes, std::uint32_t right) {
    std::uint32_t last = left;
    for (const Shape& shape : shapes) last = Append(last, shape);
    Link(last, right);
  }

  void Reset(std::string_view text) {
    tokens_.clear();
    pieces_.clear();
    free_tokens_.clear();
    free_pieces_.clear();
    // Counted first and reserved once: a text of many tokens would otherwise
    // hold its list twice while it grows.
    std::size_t tokens = 0, segments = 0;
    CutInto(text, target_ == Target::Html, [&](const Shape& shape) {
      ++tokens;
      if (shape.kind == Kind::kSegment) ++segments;
    });
    tokens_.reserve(tokens + 2);
    pieces_.reserve(segments);
    max_tokens_ = SIZE_MAX;  // the text's own tokens; the bound is on what is added
    head_ = NewToken(Kind::kEnd);
    tail_ = NewToken(Kind::kEnd);
    size_ = text.size();
    std::uint32_t last = head_;
    CutInto(text, target_ == Target::Html, [&](const Shape& shape) { last = Append(last, shape); });
    Link(last, tail_);
    max_tokens_ = tokens_.size() + kMaxAddedTokens;
  }

  std::string Text() {
    std::string text;
    text.reserve(size_);
    for (std::uint32_t id = At(head_).next; id != tail_; id = At(id).next) {
      const Token& token = At(id);
      if (token.kind == Kind::kRun) {
        text.append(token.length, kMark);
        continue;
      }
      for (std::uint32_t piece = token.first_piece; piece != kNone; piece = pieces_[piece].next) {
        text.append(pieces_[piece].bytes());
      }
    }
    return text;
  }

  void Spend(std::size_t units) {
    work_ += units;
    if (work_ > max_work_) Refuse("placeholders need more work than any form does");
  }

  void Resize(std::size_t removed, std::size_t added) {
    size_ = size_ - removed + added;
    if (size_ > max_size_) Refuse("placeholders make the text too large");
  }

  // --- names and queues ---

  bool SameBytes(const Token& segment, std::string_view name) {
    Spend(name.size());
    std::size_t at = 0;
    for (std::uint32_t piece = segment.first_piece; piece != kNone; piece = pieces_[piece].next) {
      const std::string_view bytes = pieces_[piece].bytes();
      if (name.substr(at, bytes.size()) != bytes) return false;
      at += bytes.size();
    }
    return at == name.size();
  }

  std::uint32_t NameOf(const Token& segment) {
    if (segment.length == 0 || segment.length > longest_name_) return kNone;
    const std::uint32_t id = names_index_.Find(segment.hash, [&](std::uint32_t n) {
      return names_[n].bytes.size() == segment.length && SameBytes(segment, names_[n].bytes);
    });
    return id == HashIndex::kNotFound ? kNone : id;
  }

  // Queues a segment for the next step of its name after the current one.
  void Queue(std::uint32_t id) {
    const std::uint32_t name = NameOf(At(id));
    if (name == kNone) return;
    for (std::uint32_t step = names_[name].first_step; step != kNone; step = next_step_[step]) {
      if (static_cast<long>(step) > step_) {
        queued_[step].push_back(RefTo(id));
        return;
      }
    }
  }

  // --- a step for a name the token view handles ---

  void ApplySegmentStep(std::size_t step) {
    std::vector<std::uint32_t> candidates;
    for (Ref ref : queued_[step]) {
      if (IsCurrent(ref) && !At(ref.id).marked) {
        At(ref.id).marked = true;
        candidates.push_back(ref.id);
      }
    }
    std::vector<Ref>().swap(queued_[step]);
    const std::vector<std::uint32_t> matched = Matches(candidates);
    std::vector<Ref> waiting;
    for (std::uint32_t id : candidates) {
      At(id).marked = false;
      waiting.push_back(RefTo(id));
    }
    std::vector<Ref> touched;
    for (std::uint32_t id : matched) Replace(step, id, touched);
    for (Ref ref : touched) {
      if (IsCurrent(ref)) Settle(ref.id);
    }
    // The rest wait for the name's next step, if it has one.
    for (Ref ref : waiting) {
      if (IsCurrent(ref)) Queue(ref.id);
    }
  }

  // Which candidates the left-to-right scan replaces. A candidate needs two
  // "#" on each side; two candidates around one run compete for it only when
  // it is shorter than four, and then the left one wins, as a scan from the
  // left would have it. So chains of neighbouring candidates are decided
  // from their left end.
  std::vector<std::uint32_t> Matches(const std::vector<std::uint32_t>& candidates) {
    std::vector<std::uint32_t> matched;
    for (std::uint32_t first : candidates) {
      const std::uint32_t left = At(first).prev;
      if (IsRun(left) && At(At(left).prev).marked) continue;  // not the chain's left end
      bool previous_matched = false;
      for (std::uint32_t id = first;;) {
        const std::uint32_t before = At(id).prev;
        const std::uint32_t after = At(id).next;
        const std::size_t room = IsRun(before) ? At(before).length - (previous_matched ? kEdgeLength : 0) : 0;
        previous_matched = room >= kEdgeLength && IsRun(after) && At(after).length >= kEdgeLength;
        if (previous_matched) matched.push_back(id);
        if (!IsRun(after) || !At(At(after).next).marked) break;
        id = At(after).next;
      }
    }
    return matched;
  }

  // Made on first use: most steps replace nothing.
  const Form& FormOf(std::size_t step, bool in_tag) {
    std::uint32_t& index = form_of_step_[2 * step + (in_tag ? 1 : 0)];
    if (index == kNone) {
      owned_.push_back(Escaped(values_[step].value, target_, in_tag));
      Form form;
      form.length = owned_.back().size();
      form.shapes = Cut(owned_.back(), false);
      for (Shape& shape : form.shapes) shape.in_tag = in_tag;
      index = static_cast<std::uint32_t>(forms_.size());
      forms_.push_back(std::move(form));
    }
    return forms_[index];
  }

  void Replace(std::size_t step, std::uint32_t id, std::vector<Ref>& touched) {
    const std::uint32_t before = At(id).prev;
    const std::uint32_t after = At(id).next;
    const Form& form = FormOf(step, At(id).in_tag);
    Spend(form.shapes.size() + 1);
    Resize(At(id).length + 2 * kEdgeLength, form.length);
    At(before).length -= kEdgeLength;
    At(after).length -= kEdgeLength;
    FreeToken(id, true);
    Splice(before, form.shapes, after);
    touched.push_back(RefTo(before));
    touched.push_back(RefTo(after));
  }

  // Two neighbours that must become one token, or an emptied run.
  bool Unsettled(std::uint32_t left, std::uint32_t right) {
    const Kind a = At(left).kind;
    const Kind b = At(right).kind;
    if (a == Kind::kEnd || b == Kind::kEnd) return false;
    return a == b || IsEmptyRun(left) || IsEmptyRun(right);
  }

  // Settles the stretch around id in which runs emptied by a replacement or
  // tokens of the same kind meet: emptied runs go, runs add up, segments
  // join; a segment whose bytes changed is queued anew.
  void Settle(std::uint32_t id) {
    std::uint32_t first = id;
    while (Unsettled(At(first).prev, first)) first = At(first).prev;
    std::uint32_t last = id;
    while (Unsettled(last, At(last).next)) last = At(last).next;
    const std::uint32_t after = At(last).next;
    std::uint32_t kept = At(first).prev;
    bool changed = false;
    for (std::uint32_t at = first; at != after;) {
      Spend(1);
      const std::uint32_t next = At(at).next;
      if (IsEmptyRun(at)) {
        FreeToken(at, false);
      } else if (At(kept).kind == At(at).kind) {
        Absorb(kept, at);
        FreeToken(at, false);
        changed = true;
      } else {
        if (changed) Requeue(kept);
        Link(kept, at);
        kept = at;
        changed = false;
      }
      at = next;
    }
    Link(kept, after);
    if (changed) Requeue(kept);
  }

  // Joins token from, of the same kind, onto the end of into; its pieces
  // move along.
  void Absorb(std::uint32_t into_id, std::uint32_t from_id) {
    Token& into = At(into_id);
    const Token& from = At(from_id);
    if (from.kind == Kind::kSegment) {
      pieces_[into.last_piece].next = from.first_piece;
      into.last_piece = from.last_piece;
      into.hash = Joined(into.hash, from.hash, from.length);
      into.in_tag = from.in_tag;
    }
    into.length += from.length;
  }

  void Requeue(std::uint32_t id) {
    if (At(id).kind != Kind::kSegment) return;
    At(id).generation = NextGeneration();  // earlier queue entries no longer name these bytes
    Queue(id);
  }

  // --- a step for any other name: one plain pass ---

  void ApplyPlainStep(std::size_t step) {
    Spend(size_);
    const std::string current = Text();
    const PlaceholderValue& value = values_[step];
    if (current.find(PlaceholderOf(value.name)) == std::string::npos) return;
    text_ = ReplacePlaceholder(current, value.name, value.value, target_, max_size_);
    // What the later steps had queued names tokens of the old list: stale.
    Reset(text_);
  }

  const std::vector<PlaceholderValue>& values_;
  const Target target_;
  const std::size_t max_size_;
  const std::size_t max_work_;
  std::vector<bool> segment_step_;
  std::vector<Name> names_;
  std::vector<std::uint32_t> next_step_;  // by step: the next step of the same name
  HashIndex names_index_;                 // names_ by their hash
  std::size_t longest_name_ = 0;

  std::vector<Token> tokens_;
  std::vector<Piece> pieces_;
  std::vector<std::uint32_t> free_tokens_;
  std::vector<std::uint32_t> free_pieces_;
  std::size_t max_tokens_ = 0;
  std::uint32_t head_ = kNone;
  std::uint32_t tail_ = kNone;
  std::size_t size_ = 0;
  std::size_t work_ = 0;
  std::uint32_t generations_ = 0;
  long step_ = -1;
  std::vector<std::vector<Ref>> queued_;     // per step: segments equal to its name
  std::vector<std::uint32_t> form_of_step_;  // by step, in text and in a tag: its form in forms_
  std::deque<Form> forms_;
  std::deque<std::string> owned_;  // the values' forms, which pieces point into
  std::string text_;               // the text after the last plain pass
};

}  // namespace

std::vector<PlaceholderValue> PlaceholderValues(const FormRequest& request) {
  const ControlSettings& s = request.settings;
  const PlaceholderValue fixed[] = {
      {"QUILLO_TO", s.to},
      {"QUILLO_FROM", s.from},
      {"QUILLO_SUBJECT", s.subject},
      {"HTTP_USER_AGENT", request.http_user_agent},
      {"SCRIPT_NAME", request.script_name},
      {"REMOTE_IDENT", request.remote_ident},
      {"REMOTE_HOST", request.remote_host},
      {"REMOTE_ADDR", request.remote_addr},
      {"REMOTE_USER", request.remote_user},
      {"SERVER_NAME", request.server_name},
      {"MUID", request.muid},
      {"DATE", MailDateOf(request)},
  };
  const auto reserved = [&](std::string_view name) {
    if (name.compare(0, 7, "QUILLO_") == 0 || name.compare(0, 8, "RESPOND_") == 0) return true;
    return std::any_of(std::begin(fixed), std::end(fixed),
                       [&](const PlaceholderValue& v) { return v.name == name; });
  };
  std::vector<PlaceholderValue> values;
  values.reserve(request.field_names.size() + std::size(fixed) + 1);
  for (std::size_t i = 0; i < request.field_names.size(); ++i) {
    if (request.site_settings && reserved(request.field_names[i])) continue;
    values.push_back({request.field_names[i], request.field_values[i]});
  }
  values.insert(values.end(), std::begin(fixed), std::end(fixed));
  if (request.uploads) values.push_back({"QUILLO_FILES", request.files_list});
  return values;
}

void SubstitutePlaceholders(const std::vector<PlaceholderValue>& values, std::string& text, Target target) {
  // Every placeholder holds "##": the common case for plain documents.
  if (text.find(kPlaceholderEdge) == std::string::npos) return;
  const std::size_t max_size = text.size() + kMaxSubstitutionGrowth;
  std::size_t step = 0;
  if (values.size() <= kDirectSteps) {
    for (; step < values.size() && text.size() <= kDirectTextBytes; ++step) {
      const PlaceholderValue& value = values[step];
      if (text.find(PlaceholderOf(value.name)) == std::string::npos) continue;
      text = ReplacePlaceholder(text, value.name, value.value, target, max_size);
    }
  }
  if (step == values.size()) return;
  SubstituteWithEngine({values.begin() + static_cast<std::ptrdiff_t>(step), values.end()}, text, target,
                       max_size);
}

void SubstituteWithEngine(const std::vector<PlaceholderValue>& values, std::string& text, Target target,
                          std::size_t max_size) {
  Engine engine(values, target, max_size);
  text = engine.Run(text);
}

void SubstitutePlaceholders(const FormRequest& request, std::string& text, Target target) {
  if (text.find(kPlaceholderEdge) == std::string::npos) return;
  SubstitutePlaceholders(PlaceholderValues(request), text, target);
}

std::string ReplacePlaceholder(std::string_view text, std::string_view name, std::string_view value,
                               Target target, std::size_t max_size) {
  const std::string pattern = PlaceholderOf(name);
  std::string out;
  std::string escaped[2];
  bool in_tag = false;
  std::size_t from = 0;
  std::size_t scanned = 0;  // the context is known up to here
  for (std::size_t found = text.find(pattern); found != std::string_view::npos;
       found = text.find(pattern, from)) {
    // The context is that of the last bracket before the placeholder: looked
    // for from the placeholder back, as far as the last one looked at.
    if (target == Target::Html) {
      for (std::size_t at = found; at > scanned; --at) {
        if (StartsTag(text[at - 1]) || EndsTag(text[at - 1])) {
          in_tag = StartsTag(text[at - 1]);
          break;
        }
      }
      scanned = found;
    }
    std::string& inserted = escaped[in_tag ? 1 : 0];
    if (inserted.empty()) inserted = Escaped(value, target, in_tag);
    out.append(text, from, found - from);
    out.append(inserted);
    if (out.size() > max_size) Refuse("placeholders make the text too large");
    from = found + pattern.size();
  }
  out.append(text, from, std::string_view::npos);
  if (out.size() > max_size) Refuse("placeholders make the text too large");
  return out;
}

}  // namespace quillo
