// The simulated QX-80's mode switch: command 1 (message 0x0001) and the restarts it causes.
#include "sim/sim_qx80_device.h"

namespace qx80 {

uint16_t SimQx80Device::ProductId() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_productId;
}

void SimQx80Device::SetPendingVersion(uint8_t selector, std::string_view text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_pendingVersions[selector] = std::string(text.substr(0, kVersionTextSize));
}

SimQx80Device::Reply SimQx80Device::HandleModeSwitch(const MessageHeader& request, std::span<const uint8_t> data) {
  const bool inUpdateMode = m_productId == QX80_PRODUCT_UPDATE;
  if (request.type == MSG_SET_REQUEST && m_modeSwitch.switches) {
    if (!inUpdateMode && request.arg == SIM_ENTER_UPDATE_MODE) {
      ScheduleRestart(QX80_PRODUCT_UPDATE, m_modeSwitch.updateReturnDelayMs, m_modeSwitch.returnsInUpdateMode);
    } else if (inUpdateMode && request.arg == SIM_LEAVE_UPDATE_MODE) {
      ScheduleRestart(m_modeSwitch.normalProductId, m_modeSwitch.normalReturnDelayMs, m_modeSwitch.returnsInNormalMode);
    }
  }
  return HandleStored(request, data);
}

// Runs with m_mutex held. The restart is timed from the moment the acknowledgement is on the
// bus, so that it always leaves first, however late the answering thread gets to send it.
void SimQx80Device::ScheduleRestart(uint16_t productId, uint32_t returnDelayMs, bool returns) {
  const uint32_t powerCuts = m_powerCuts;
  m_afterReply = [this, productId, returnDelayMs, returns, powerCuts] {
    m_timer.Post(m_modeSwitch.leaveDelayMs, [this, productId, returnDelayMs, returns, powerCuts] {
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_powerCuts != powerCuts) {
          return;
        }
      }
      Unplug();
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_productId = productId;
      }
      if (returns) {
        m_timer.Post(returnDelayMs, [this, productId, powerCuts] {
          {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_powerCuts != powerCuts) {
              return;
            }
            // What was written in update mode becomes the running firmware only as the device
            // starts again in normal mode: a power cut before that loses it.
            if (productId != QX80_PRODUCT_UPDATE) {
              if (m_modeSwitch.takesUpdate) {
                for (const auto& [selector, text] : m_pendingVersions) {
                  m_versions[selector] = text;
                }
              }
              m_pendingVersions.clear();
            }
          }
          ArriveAs(productId);
        });
      }
    });
  };
}

void SimQx80Device::PowerCut(uint32_t afterMs, uint16_t productId, uint32_t offMs) {
  if (afterMs == 0) {
    LosePower(productId, offMs);
  } else {
    m_timer.Post(afterMs, [this, productId, offMs] { LosePower(productId, offMs); });
  }
}

void SimQx80Device::LosePower(uint16_t productId, uint32_t offMs) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_powerCuts;
    m_afterReply = {};
    m_pendingVersions.clear();
    m_productId = productId;
  }
  m_transfer.TakePendingVersions();
  Unplug();
  m_timer.Post(offMs, [this, productId] { ArriveAs(productId); });
}

void SimQx80Device::ArriveAs(uint16_t productId) {
  Plug();
  if (productId == QX80_PRODUCT_UPDATE && m_modeSwitch.updateModeStayMs != 0) {
    m_timer.Post(m_modeSwitch.updateModeStayMs, [this] { Unplug(); });
  }
}

}  // namespace qx80
