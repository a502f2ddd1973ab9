// What the settings view's Save To Device and Restore to Defaults work on, free of any window: the
// configuration gathered from the console's records, the client-side defaults and the check of a
// box's IP address, subnet mask and gateway.
#pragma once
#include <string>

#include "device_client/core/config/config_records.h"

namespace console {

// String ids of the address check's messages.
constexpr int IDS_INPUT_ILLEGAL = 61222;
constexpr int IDS_IP_ADDRESS_ILLEGAL = 61223;
constexpr int IDS_GATEWAY_ILLEGAL = 61224;
constexpr int IDS_SUBNET_MASK_ILLEGAL = 61226;
constexpr int IDS_GATEWAY_OR_IP_ERROR = 61227;
constexpr int IDS_ADDRESS_CHECK_CAPTION = 61228;
void RegisterViewSaveStrings();

// Shows the message of a failed whole-configuration write: every nonzero result gets a box, also
// those the device results show none for.
void ShowSaveResult(int result);

// 0 when the three addresses can be written, else the id of the message that refuses them:
// 61222 a text missing; 61223 an IP address that is no address, has an octet 255 or ends in 0;
// 61226 a mask that is not 1 to 32 leading one bits; 61224 a gateway with an octet 255 (0.0.0.0
// passes); 61227 IP address and gateway in different subnets.
int CheckIpMaskGateway(const std::string* ip, const std::string* mask, const std::string* gateway);

// The whole configuration of the console's records, as Save To Device sends it.
config::AllConfigurationData GatherConfiguration();

// Puts the client-side defaults into the console's records (nothing is sent). The box's key is the
// default for the device and print-server names; logical ports print to the model's own parallel
// ports in turn (model_capabilities.h). The NetBEUI workgroup is a default only when the box's tabs show the
// NetBEUI page: otherwise the user could neither see nor set it again.
void RestoreDefaultRecords(const std::string& defaultName, int modelType, bool netbeuiPageShown);

}  // namespace console
