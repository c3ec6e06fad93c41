#include "workers/device_comm_app.h"

namespace qx80 {

CDeviceCommApp::~CDeviceCommApp() {
  {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_channel) {
      m_channel->Close();
      m_channel.reset();
    }
    m_open.store(0);
  }
  m_ready.store(0);
}

bool CDeviceCommApp::Connect(int32_t mode) {
  {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_channel) {
      return false;
    }
    m_channel = CDeviceProtocol::Create(mode);
    if (!m_channel) {
      return false;
    }
    m_open.store(1);
  }
  m_ready.store(1);
  return true;
}

ProtocolResult CDeviceCommApp::RunCommand(int32_t command, const CommandSteps& steps) {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  if (!m_channel) {
    return ResultNoChannel;
  }
  if (steps.fill) {
    steps.fill(ParameterBlock(m_params));
  }
  m_channel->SetStopSignal(steps.stop);
  const ProtocolResult result = m_channel->Execute(command, m_params, &m_status);
  m_channel->SetStopSignal(nullptr);
  if (steps.read) {
    steps.read(ParameterBlockView(m_params), m_status);
  }
  return result;
}

void CDeviceCommApp::Disconnect() {
  m_ready.store(0);
  Release();
}

int32_t CDeviceCommApp::Release() {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  if (m_open.load() == 1) {
    if (m_channel) {
      m_channel->Close();
      m_channel.reset();
    }
    m_open.store(0);
  }
  return m_open.load();
}

bool CDeviceCommApp::HasChannel() {
  std::lock_guard<std::recursive_mutex> lock(m_lock);
  return m_channel != nullptr;
}

}  // namespace qx80
