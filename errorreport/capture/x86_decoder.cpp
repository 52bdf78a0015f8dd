#include "errorreport/capture/x86_decoder.h"

#include <cstring>

namespace sondrel::x86 {
namespace {

constexpr std::size_t kMaxLength = 15;

// Immediate kinds of the one-byte opcode map.
enum Imm : std::uint8_t {
  kNone,
  kI8,     // one byte
  kI16,    // two bytes
  kIz,     // four bytes, two with an operand-size prefix
  kIEnter, // ENTER: two bytes and one
  kIFar,   // far pointer: four (or two) bytes and a two-byte selector
  kIMoffs, // memory offset: four bytes, two with an address-size prefix
  kIGrp3,  // F6/F7: immediate only for TEST (reg field 0 or 1)
};

struct OpInfo {
  bool modrm;
  Imm imm;
};

// One-byte opcode map of 32-bit mode; prefixes and 0F are handled before the lookup.
OpInfo OneByte(std::uint8_t op) {
  if (op < 0x40) {
    switch (op & 7) {
      case 0: case 1: case 2: case 3: return {true, kNone};
      case 4: return {false, kI8};
      case 5: return {false, kIz};
      default: return {false, kNone};
    }
  }
  if (op < 0x60) return {false, kNone};
  if (op >= 0x70 && op <= 0x7F) return {false, kI8};
  if (op >= 0x84 && op <= 0x8F) return {true, kNone};
  if (op >= 0x90 && op <= 0x9F) return op == 0x9A ? OpInfo{false, kIFar} : OpInfo{false, kNone};
  if (op >= 0xA0 && op <= 0xA3) return {false, kIMoffs};
  if (op >= 0xB0 && op <= 0xB7) return {false, kI8};
  if (op >= 0xB8 && op <= 0xBF) return {false, kIz};
  if (op >= 0xD8 && op <= 0xDF) return {true, kNone};
  switch (op) {
    case 0x62: case 0x63: return {true, kNone};
    case 0x68: return {false, kIz};
    case 0x69: return {true, kIz};
    case 0x6A: return {false, kI8};
    case 0x6B: return {true, kI8};
    case 0x80: case 0x82: case 0x83: return {true, kI8};
    case 0x81: return {true, kIz};
    case 0xA8: return {false, kI8};
    case 0xA9: return {false, kIz};
    case 0xC0: case 0xC1: return {true, kI8};
    case 0xC2: case 0xCA: return {false, kI16};
    case 0xC4: case 0xC5: return {true, kNone};
    case 0xC6: return {true, kI8};
    case 0xC7: return {true, kIz};
    case 0xC8: return {false, kIEnter};
    case 0xCD: return {false, kI8};
    case 0xD0: case 0xD1: case 0xD2: case 0xD3: return {true, kNone};
    case 0xD4: case 0xD5: return {false, kI8};
    case 0xE0: case 0xE1: case 0xE2: case 0xE3: return {false, kI8};
    case 0xE4: case 0xE5: case 0xE6: case 0xE7: return {false, kI8};
    case 0xE8: case 0xE9: return {false, kIz};
    case 0xEA: return {false, kIFar};
    case 0xEB: return {false, kI8};
    case 0xF6: case 0xF7: return {true, kIGrp3};
    case 0xFE: case 0xFF: return {true, kNone};
    default: return {false, kNone};
  }
}

// Two-byte map (after 0F). Three-byte maps 0F 38 and 0F 3A are handled by the caller.
OpInfo TwoByte(std::uint8_t op) {
  if ((op >= 0x05 && op <= 0x0B) || (op >= 0x30 && op <= 0x37) || op == 0x77 || op == 0xA0 || op == 0xA1 ||
      op == 0xA2 || op == 0xA8 || op == 0xA9 || op == 0xAA || (op >= 0xC8 && op <= 0xCF))
    return {false, kNone};
  if (op >= 0x80 && op <= 0x8F) return {false, kIz};
  if (op == 0x0F || (op >= 0x70 && op <= 0x73) || op == 0xA4 || op == 0xAC || op == 0xBA || op == 0xC2 ||
      (op >= 0xC4 && op <= 0xC6))
    return {true, kI8};
  return {true, kNone};
}

// Bytes taken by ModRM, SIB and displacement, or 0 when they do not fit.
std::size_t ModRmLength(const std::uint8_t* p, std::size_t left, bool addr16) {
  if (left < 1) return 0;
  const std::uint8_t modrm = p[0];
  const int mod = modrm >> 6, rm = modrm & 7;
  std::size_t n = 1;
  if (mod == 3) return n;
  if (addr16) {
    if (mod == 0 && rm == 6) n += 2;
    else if (mod == 1) n += 1;
    else if (mod == 2) n += 2;
  } else {
    if (rm == 4) {
      if (left < 2) return 0;
      const int base = p[1] & 7;
      n += 1;
      if (mod == 0 && base == 5) n += 4;
    }
    if (mod == 0 && rm == 5) n += 4;
    else if (mod == 1) n += 1;
    else if (mod == 2) n += 4;
  }
  return n <= left ? n : 0;
}

std::int32_t ReadDisp(const std::uint8_t* p, std::size_t size) {
  if (size == 1) return static_cast<std::int8_t>(p[0]);
  std::int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void PutDisp32(std::vector<std::uint8_t>& out, std::int64_t v) {
  const auto d = static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(d >> (8 * i)));
}

}  // namespace

std::optional<Instruction> Decode(const std::uint8_t* code, std::size_t available) {
  const std::size_t limit = available < kMaxLength ? available : kMaxLength;
  std::size_t i = 0;
  bool op16 = false, addr16 = false;
  for (;; ++i) {
    if (i >= limit) return std::nullopt;
    const std::uint8_t b = code[i];
    if (b == 0x66) op16 = true;
    else if (b == 0x67) addr16 = true;
    else if (b != 0xF0 && b != 0xF2 && b != 0xF3 && b != 0x26 && b != 0x2E && b != 0x36 && b != 0x3E &&
             b != 0x64 && b != 0x65)
      break;
  }
  Instruction ins;
  const std::uint8_t op = code[i++];
  OpInfo info;
  bool two_byte = false;
  std::uint8_t op2 = 0;
  if (op == 0x0F) {
    if (i >= limit) return std::nullopt;
    op2 = code[i++];
    two_byte = true;
    if (op2 == 0x38 || op2 == 0x3A) {
      if (i >= limit) return std::nullopt;
      ++i;  // the third opcode byte
      info = {true, op2 == 0x3A ? kI8 : kNone};
    } else {
      info = TwoByte(op2);
    }
  } else {
    // C4/C5 with a register operand are VEX prefixes in 32-bit mode; not used by this program's code.
    if ((op == 0xC4 || op == 0xC5) && (i >= limit || (code[i] >> 6) == 3)) return std::nullopt;
    info = OneByte(op);
  }

  std::uint8_t reg = 0;
  if (info.modrm) {
    if (i >= limit) return std::nullopt;
    reg = (code[i] >> 3) & 7;
    const std::size_t n = ModRmLength(code + i, limit - i, addr16);
    if (n == 0) return std::nullopt;
    i += n;
  }

  std::size_t imm = 0;
  switch (info.imm) {
    case kNone: break;
    case kI8: imm = 1; break;
    case kI16: imm = 2; break;
    case kIz: imm = op16 ? 2 : 4; break;
    case kIEnter: imm = 3; break;
    case kIFar: imm = (op16 ? 2 : 4) + 2; break;
    case kIMoffs: imm = addr16 ? 2 : 4; break;
    case kIGrp3: imm = reg <= 1 ? (op == 0xF6 ? 1 : (op16 ? 2 : 4)) : 0; break;
  }
  const std::size_t imm_at = i;
  i += imm;
  if (i > limit) return std::nullopt;
  ins.length = i;

  auto relative = [&](Flow flow) {
    ins.flow = flow;
    ins.disp_offset = imm_at;
    ins.disp_size = imm;
    ins.displacement = ReadDisp(code + imm_at, imm);
  };
  if (two_byte) {
    if (op2 >= 0x80 && op2 <= 0x8F) {
      if (op16) return std::nullopt;  // a 16-bit displacement truncates EIP; never produced here
      relative(Flow::kCondJump);
    } else if (op2 == 0x0B || op2 == 0xFF) {
      ins.flow = Flow::kStop;
    }
    return ins;
  }
  if (op >= 0x70 && op <= 0x7F) relative(Flow::kCondJump);
  else if (op >= 0xE0 && op <= 0xE3) relative(Flow::kShortLoop);
  else if (op == 0xEB) relative(Flow::kJump);
  else if (op == 0xE8 || op == 0xE9) {
    if (op16) return std::nullopt;
    relative(op == 0xE8 ? Flow::kCall : Flow::kJump);
  } else if (op == 0xC2 || op == 0xC3 || op == 0xCA || op == 0xCB || op == 0xCF) {
    ins.flow = Flow::kReturn;
  } else if (op == 0xCC || op == 0xF4 || op == 0xEA || (op == 0xFF && (reg == 4 || reg == 5))) {
    ins.flow = Flow::kStop;
  }
  return ins;
}

std::optional<MovedCode> MovePrologue(const std::uint8_t* code, std::size_t available, std::uint32_t from,
                                      std::uint32_t to, std::size_t min_length) {
  MovedCode moved;
  std::size_t at = 0;
  while (at < min_length) {
    const auto ins = Decode(code + at, available - at);
    if (!ins) return std::nullopt;
    const std::uint8_t* p = code + at;
    // Where the instruction's branch target lies, measured from the source.
    const std::int64_t source_end = static_cast<std::int64_t>(from) + static_cast<std::int64_t>(at + ins->length);
    const std::int64_t target = source_end + ins->displacement;
    const std::int64_t here = static_cast<std::int64_t>(to) + static_cast<std::int64_t>(moved.code.size());
    switch (ins->flow) {
      case Flow::kPlain:
        moved.code.insert(moved.code.end(), p, p + ins->length);
        break;
      case Flow::kCall:
      case Flow::kJump:
        moved.code.push_back(ins->flow == Flow::kCall ? 0xE8 : 0xE9);
        PutDisp32(moved.code, target - (here + 5));
        break;
      case Flow::kCondJump: {
        // Any prefix bytes (branch hints) are dropped; the condition sits in the low nibble.
        const std::uint8_t cc = p[ins->disp_offset - 1] & 0x0F;
        moved.code.push_back(0x0F);
        moved.code.push_back(static_cast<std::uint8_t>(0x80 | cc));
        PutDisp32(moved.code, target - (here + 6));
        break;
      }
      case Flow::kShortLoop:
      case Flow::kReturn:
      case Flow::kStop:
        return std::nullopt;
    }
    at += ins->length;
    // After an unconditional jump the next bytes need not belong to this procedure.
    if (ins->flow == Flow::kJump && at < min_length) return std::nullopt;
  }
  moved.consumed = at;
  const std::int64_t here = static_cast<std::int64_t>(to) + static_cast<std::int64_t>(moved.code.size());
  moved.code.push_back(0xE9);
  PutDisp32(moved.code, static_cast<std::int64_t>(from) + static_cast<std::int64_t>(at) - (here + 5));
  return moved;
}

}  // namespace sondrel::x86
