// Numbers of the TDS protocol that this server speaks (versions 7.1 to 7.4).
#pragma once

#include <cstdint>

namespace tds {

// Packet types.
constexpr std::uint8_t kSqlBatch = 0x01;
constexpr std::uint8_t kRpc = 0x03;
constexpr std::uint8_t kTabularResult = 0x04;
constexpr std::uint8_t kAttention = 0x06;
constexpr std::uint8_t kLogin7 = 0x10;
constexpr std::uint8_t kTransactionManager = 0x0E;
constexpr std::uint8_t kPrelogin = 0x12;
constexpr std::uint8_t kSspiMessage = 0x11;  // a further leg of an integrated login

// Packet status bits.
constexpr std::uint8_t kEndOfMessage = 0x01;

constexpr std::size_t kHeaderSize = 8;
constexpr std::uint32_t kMinPacketSize = 512;
constexpr std::uint32_t kMaxPacketSize = 32767;
constexpr std::uint32_t kDefaultPacketSize = 4096;

// Protocol versions as LOGIN7 and LOGINACK carry them.
constexpr std::uint32_t kVersion71 = 0x71000001;
constexpr std::uint32_t kVersion72 = 0x72090002;
constexpr std::uint32_t kVersion73A = 0x730A0003;
constexpr std::uint32_t kVersion73B = 0x730B0003;
constexpr std::uint32_t kVersion74 = 0x74000004;

// Tokens.
constexpr std::uint8_t kReturnStatus = 0x79;
constexpr std::uint8_t kColMetadata = 0x81;
constexpr std::uint8_t kError = 0xAA;
constexpr std::uint8_t kInfo = 0xAB;
constexpr std::uint8_t kReturnValue = 0xAC;
constexpr std::uint8_t kLoginAck = 0xAD;
constexpr std::uint8_t kRow = 0xD1;
constexpr std::uint8_t kEnvChange = 0xE3;
constexpr std::uint8_t kSspi = 0xED;
constexpr std::uint8_t kDone = 0xFD;
constexpr std::uint8_t kDoneProc = 0xFE;
constexpr std::uint8_t kDoneInProc = 0xFF;

// ENVCHANGE types.
constexpr std::uint8_t kEnvDatabase = 1;
constexpr std::uint8_t kEnvLanguage = 2;
constexpr std::uint8_t kEnvPacketSize = 4;
constexpr std::uint8_t kEnvCollation = 7;
constexpr std::uint8_t kEnvBeginTransaction = 8;
constexpr std::uint8_t kEnvCommitTransaction = 9;
constexpr std::uint8_t kEnvRollbackTransaction = 10;

// DONE status bits.
constexpr std::uint16_t kDoneFinal = 0x0000;
constexpr std::uint16_t kDoneMore = 0x0001;
constexpr std::uint16_t kDoneError = 0x0002;
constexpr std::uint16_t kDoneCount = 0x0010;
constexpr std::uint16_t kDoneAttention = 0x0020;

// Data types on the wire.
constexpr std::uint8_t kTypeImage = 0x22;
constexpr std::uint8_t kTypeText = 0x23;
constexpr std::uint8_t kTypeVarBinary = 0x25;
constexpr std::uint8_t kTypeIntN = 0x26;
constexpr std::uint8_t kTypeVarChar = 0x27;
constexpr std::uint8_t kTypeChar = 0x2F;
constexpr std::uint8_t kTypeInt1 = 0x30;
constexpr std::uint8_t kTypeInt2 = 0x34;
constexpr std::uint8_t kTypeInt4 = 0x38;
constexpr std::uint8_t kTypeVariant = 0x62;
constexpr std::uint8_t kTypeNText = 0x63;
constexpr std::uint8_t kTypeNumericN = 0x6C;
constexpr std::uint8_t kTypeInt8 = 0x7F;
constexpr std::uint8_t kTypeBigVarBinary = 0xA5;
constexpr std::uint8_t kTypeBigVarChar = 0xA7;
constexpr std::uint8_t kTypeBigBinary = 0xAD;
constexpr std::uint8_t kTypeBigChar = 0xAF;
constexpr std::uint8_t kTypeNVarChar = 0xE7;
constexpr std::uint8_t kTypeNChar = 0xEF;

// PRELOGIN options and encryption values.
constexpr std::uint8_t kPreloginVersion = 0x00;
constexpr std::uint8_t kPreloginEncryption = 0x01;
constexpr std::uint8_t kPreloginInstance = 0x02;
constexpr std::uint8_t kPreloginThreadId = 0x03;
constexpr std::uint8_t kPreloginMars = 0x04;
constexpr std::uint8_t kPreloginTerminator = 0xFF;
constexpr std::uint8_t kEncryptOff = 0x00;
constexpr std::uint8_t kEncryptOn = 0x01;
constexpr std::uint8_t kEncryptNotSupported = 0x02;
constexpr std::uint8_t kEncryptRequired = 0x03;

// The procedure id of sp_executesql in an RPC request.
constexpr std::uint16_t kProcIdExecuteSql = 10;

inline bool atLeast72(std::uint32_t version) { return version >= kVersion72; }

}  // namespace tds
