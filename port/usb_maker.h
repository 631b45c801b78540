// How the maker's own USB devices are recognised and asked for their identity.
#pragma once
#include <cstdint>

constexpr uint16_t kMakerVendorId = 0x16C0;
// The manufacturer string every device of the maker reports.
constexpr char kMakerManufacturer[] = "Orvelt Metering";

// Product strings, compared exactly, giving the UsbDeviceType.
constexpr char kProductKey[] = "TokenX1";
constexpr char kProductRs485[] = "LinkX2";
constexpr char kProductKeyboard[] = "PadX3";
constexpr char kProductRfid[] = "TagX4";

// Vendor requests, device to host, wValue and wIndex 0.
constexpr int kVendorRequestIn = 0xC0;
constexpr int kRequestDeviceId = 0x20;      // 8 bytes: id little-endian in the first 4
constexpr int kRequestDeviceIdLength = 8;
constexpr int kRequestChannels = 0x23;      // 1 byte: the number of serial channels
constexpr int kRequestChannelsLength = 1;
constexpr int kVendorRequestTimeoutMs = 1000;
