// qx80 command N: one numbered command on the device, as the updater's command call runs it.
#include <array>
#include <cctype>
#include <charconv>
#include <iomanip>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_buffers.h"
#include "cli/commands.h"
#include "cli/device_report.h"
#include "cli/exit_codes.h"
#include "cli/session_log.h"
#include "device/transcript.h"
#include "link/device_link.h"
#include "platform/clock.h"
#include "platform/hex.h"
#include "platform/parse_number.h"
#include "protocol/command_catalogue.h"
#include "protocol/protocol_result.h"
#include "workers/device_comm_app.h"
#include "workers/probe_device.h"

namespace qx80::cli {
namespace {

constexpr const char* COMMAND_HELP =
    "Runs numbered command N (decimal, or hex with 0x) on the QX-80 in whatever mode it is and\n"
    "prints the result with its name, the status pair of the last reply and the parameter\n"
    "block (188 bytes in hex, trailing zeros left out). Where the block holds an address, the\n"
    "tool puts its own buffer there and prints what the command left in it; the text switch\n"
    "gets no handler; a raw request, an addressed write and the firmware writes are refused.\n"
    "A command that changes the QX-80 runs only with --yes; without it the tool says what the\n"
    "command does and exits with status 2 (the refused ones stay refused).\n"
    "While it runs it holds the QX-80's lock, as qx80 update does.\n"
    "Exit status: 0 the command answered ResultOk; 1 another result, or no device reached; 2\n"
    "refused: bad arguments, a refused command, no single QX-80 chosen, a QX-80 in use by another\n"
    "program, a --log file that cannot be written.\n";

constexpr size_t kBytesPerLine = 16;
constexpr size_t kNumbersPerLine = 12;

// What a command that changes the device does, for the refusal without --yes.
std::string WhatItChanges(const CommandRow& row) {
  if (row.effect == DeviceEffect::ChangesMode) {
    return "switches the QX-80's mode: it restarts, and value 0 leaves it in update mode without working firmware "
           "until an update finishes";
  }
  return "writes to the QX-80 (a setting, an action or its memory)";
}

bool ParseNumber(const std::string& text, int32_t& number) {
  const bool hex = text.starts_with("0x") || text.starts_with("0X");
  return ParseWholeNumber(std::string_view(text).substr(hex ? 2 : 0), number, hex ? 16 : 10) && number >= 0 &&
         number <= 0xFF;
}

// The bytes of --block: hex digits, two per byte, spaces allowed between them. False, with
// exactly what is wrong on `err`, for anything else.
bool ParseHexBlock(const std::string& text, std::vector<uint8_t>& bytes, std::ostream& err) {
  std::string digits;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (std::isxdigit(c)) {
      digits.push_back(static_cast<char>(c));
    } else if (!std::isspace(c)) {
      err << "qx80: --block takes hex digits; character " << i + 1 << " is not one";
      if (std::isprint(c)) {
        err << " ('" << static_cast<char>(c) << "')";
      }
      err << "\n";
      return false;
    }
  }
  if (digits.size() % 2 != 0) {
    err << "qx80: --block has " << digits.size() << " hex digits, an odd number: each byte takes two\n";
    return false;
  }
  if (digits.size() / 2 > kParameterBlockSize) {
    err << "qx80: --block has " << digits.size() / 2 << " bytes; the block holds " << kParameterBlockSize << "\n";
    return false;
  }
  return ParseHexBytes(digits, bytes);
}

void PrintBytes(std::ostream& out, const char* name, std::span<const uint8_t> bytes) {
  size_t used = bytes.size();
  while (used > 0 && bytes[used - 1] == 0) {
    --used;
  }
  out << name << ": " << used << " of " << bytes.size() << " bytes shown (the rest zero)\n";
  const auto flags = out.flags();
  for (size_t line = 0; line < used; line += kBytesPerLine) {
    out << "  " << std::setw(3) << std::dec << line << ":" << std::hex << std::setfill('0');
    for (size_t i = line; i < used && i < line + kBytesPerLine; ++i) {
      out << " " << std::setw(2) << static_cast<int>(bytes[i]);
    }
    out << std::setfill(' ') << "\n";
  }
  out.flags(flags);
}

}  // namespace

std::string CommandsNeedingYes() {
  std::ostringstream list;
  list << "Commands that change the QX-80 and need --yes:\n  mode switch:";
  for (const CommandRow& row : kCommandCatalogue) {
    if (row.effect == DeviceEffect::ChangesMode) {
      list << " 0x" << std::hex << std::setw(2) << std::setfill('0') << std::uppercase << int{row.number};
    }
  }
  list << "\n  writes:";
  size_t count = 0;
  for (const CommandRow& row : kCommandCatalogue) {
    if (row.effect == DeviceEffect::Writes) {
      list << (count > 0 && count % kNumbersPerLine == 0 ? "\n         " : "") << " 0x" << std::hex << std::setw(2)
           << std::setfill('0') << std::uppercase << int{row.number};
      ++count;
    }
  }
  list << "\n";
  return list.str();
}

int RunCommandNumber(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  DeviceOptions options;
  int32_t number = 0;
  std::vector<uint8_t> bytes;
  const std::string help = std::string(COMMAND_HELP) + "\n" + CommandsNeedingYes();
  if (const auto done = ParseDeviceCommand(COMMAND_COMMAND, help.c_str(), args,
                                           {.yes = true, .block = true, .choose = true}, true, options, out, err)) {
    return *done;
  }
  if (options.positional.size() != 1 || !ParseNumber(options.positional[0], number)) {
    err << "qx80: give one command number from 0 to 255\nusage: qx80 command " << COMMAND_COMMAND.usage << "\n";
    return EXIT_USAGE;
  }
  if (!ParseHexBlock(options.block, bytes, err)) {
    return EXIT_USAGE;
  }
  std::array<uint8_t, kParameterBlockSize> block{};
  std::copy(bytes.begin(), bytes.end(), block.begin());
  CommandBuffers buffers;
  std::string refusal;
  if (!buffers.Prepare(number, block.data(), refusal)) {
    err << "qx80: command " << options.positional[0] << " " << refusal << "\n";
    return EXIT_USAGE;
  }
  // Numbers past the catalogue reach no handler and send nothing.
  if (static_cast<size_t>(number) < kCommandCatalogue.size() && !options.yes) {
    const CommandRow& row = kCommandCatalogue[static_cast<size_t>(number)];
    if (row.effect == DeviceEffect::Writes || row.effect == DeviceEffect::ChangesMode) {
      err << "qx80: command " << options.positional[0] << " " << WhatItChanges(row) << "; give --yes to run it\n";
      return EXIT_USAGE;
    }
  }
  DeviceLink link(options.speed, options.timeOuts);
  if (const OpenFailure failure = OpenDevice(link, options, Access::Write, err); failure != OpenFailure::None) {
    return ExitBeforeStart(failure, err);
  }
  const TranscriptWatch transcript(link, options);
  const DeviceMode mode = ProbeDevice();
  CDeviceCommApp device;
  if (mode == DEVICE_MODE_ABSENT || !device.Connect(mode)) {
    PrintNoDevice(err, options);
    transcript.SayIncomplete(err);
    return EXIT_FAILED;
  }
  StatusPair status;
  const ProtocolResult result = device.RunCommand(
      number, {.fill = [&block](ParameterBlock params) { std::copy(block.begin(), block.end(), params.begin()); },
               .read =
                   [&block, &status](ParameterBlockView params, const StatusPair& pair) {
                     std::copy(params.begin(), params.end(), block.begin());
                     status = pair;
                   }});
  NoteTranscriptResult(result, ResultName(result));
  out << "device: QX-80 in " << DeviceModeName(mode) << "\n";
  out << "result: " << result << " (" << ResultName(result) << ")\n";
  out << "status: " << status.status << ", detail: " << status.detail << "\n";
  PrintBytes(out, "block", block);
  if (!buffers.Filled().empty()) {
    PrintBytes(out, "buffer", buffers.Filled());
  }
  device.Disconnect();
  transcript.SayIncomplete(err);
  return result == ResultOk ? EXIT_DONE : EXIT_FAILED;
}

const Command COMMAND_COMMAND = {
    "command", &RunCommandNumber,
    "N [-h] [-y] [--block HEX] [--device D] [--path P | --index N] [--log FILE] [--speed X [--scale-time-outs]]",
    "run one numbered command and show its result and parameter block"};

}  // namespace qx80::cli
