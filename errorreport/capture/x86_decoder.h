#pragma once
// Length decoding of 32-bit x86 instructions, and moving the first instructions of a procedure to
// another address. Code patching needs both: the jump it writes over a procedure's first bytes
// destroys whole instructions, which must run elsewhere for the procedure's own code to stay callable.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sondrel::x86 {

enum class Flow {
  kPlain,      // falls through to the next instruction
  kJump,       // unconditional relative jump (EB, E9)
  kCall,       // relative call (E8)
  kCondJump,   // conditional relative jump (70-7F, 0F 80-8F)
  kShortLoop,  // LOOP/LOOPcc/JECXZ: rel8 only, cannot be widened
  kReturn,     // RET, RETF, IRET
  kStop,       // INT3, HLT, UD2, indirect JMP: execution does not fall through
};

struct Instruction {
  std::size_t length = 0;
  Flow flow = Flow::kPlain;
  // For relative branches: offset of the displacement inside the instruction, its size (1 or 4) and value.
  std::size_t disp_offset = 0;
  std::size_t disp_size = 0;
  std::int32_t displacement = 0;
};

// Decodes one instruction at code (at most `available` bytes readable). Empty when the bytes do not
// form an instruction this decoder knows (VEX forms, an instruction longer than 15 bytes, too few bytes).
std::optional<Instruction> Decode(const std::uint8_t* code, std::size_t available);

struct MovedCode {
  std::vector<std::uint8_t> code;  // the moved instructions followed by a jump back
  std::size_t consumed = 0;        // bytes taken from the source (whole instructions, >= min_length)
};

// Rewrites the whole instructions that cover the first min_length bytes of the code at address `from`
// so that they run at address `to`, followed by a jump to from + consumed. Relative calls and jumps
// are re-aimed (short ones widened to 32 bits). Empty when the prologue cannot be moved safely: an
// unknown instruction, a LOOP/JECXZ, or a return or other end of flow before min_length bytes, since
// the bytes after it may belong to another procedure.
std::optional<MovedCode> MovePrologue(const std::uint8_t* code, std::size_t available, std::uint32_t from,
                                      std::uint32_t to, std::size_t min_length);

}  // namespace sondrel::x86
