// Lays out keys on the fake token the way real keys hold them: device information, applications,
// container directories and certificate files.
#pragma once

#include <string>
#include <vector>

#include "fake_token.h"

namespace fake {

// One of the certificates built into the test program (see test_certs.rc), as DER bytes.
std::vector<unsigned char> TestCertificate(const char* name);

struct ContainerPlan {
    bool inUse = true;
    std::vector<unsigned char> encryption; // empty: no encryption certificate
    std::vector<unsigned char> signature;  // empty: no signature certificate
};

struct KeyPlan {
    std::string label;                     // GBK
    bool applications[2] = { true, false };
    ContainerPlan containers[4];           // k = 2 * application index + container index
};

// The 340-byte device information file for a label and the listed applications.
std::vector<unsigned char> DeviceInfoFile(const std::string& label, bool first, bool second);

// Inserts a key built from plan into slot (replacing what was there).
void PutKey(Token& token, int slot, const KeyPlan& plan);

} // namespace fake
