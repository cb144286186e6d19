// Shared pieces of the driver tests: the two loaded builds of the DLL and a few byte helpers.
#pragma once

#include "harness.h"

#include <gtest/gtest.h>

#include <string>

namespace harness {

// Loaded once per process and kept: objects of a test may still be referenced at its end.
inline const Module &HarnessModule()
{
    static Module module(HarnessDllPath());
    return module;
}

inline const Module &ShippedModule()
{
    static Module module(ShippedDllPath());
    return module;
}

template <class T>
std::string AsBytes(const T &value)
{
    return std::string(reinterpret_cast<const char *>(&value), sizeof(value));
}

inline std::string Output(Request *request)
{
    const std::vector<BYTE> &bytes = request->m_output->m_bytes;
    return std::string(bytes.begin(), bytes.end());
}

inline std::string OutputReturned(Request *request)
{
    return Output(request).substr(0, request->m_information);
}

// A port device with a PortName, added through the harness build with the seam installed.
class AddedPort : public ::testing::Test
{
protected:
    explicit AddedPort(const wchar_t *portName = L"COM7") : m_portName(portName) {}

    void SetUp() override
    {
        PortDevice::s_pdo = PdoAnswer();
        m_seam.reset(new SeamInstaller(HarnessModule()));
        m_port.reset(new PortDevice(HarnessModule()));
        WriteString(m_port->HardwarePath(), L"PortName", m_portName);
        ASSERT_EQ(S_OK, m_port->Add());
    }

    void TearDown() override
    {
        m_port.reset();
        m_seam.reset();
    }

    std::wstring m_portName;
    std::unique_ptr<SeamInstaller> m_seam;
    std::unique_ptr<PortDevice> m_port;
};

} // namespace harness
