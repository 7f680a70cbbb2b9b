// Base operations whose device, table and correction work is not built yet. Each refuses with the
// failure of its kind (255, no table, resolution 0), so that no caller mistakes it for success.

#include "core/driver/ScannerDriver.h"

CFormatTable* CScannerDriver::BuildFormatTable(const CStaticFormatEntry*, CFormatTable*) { return nullptr; }
void CScannerDriver::RebuildFormatTable() {}
void CScannerDriver::CopyFormatTable(const CStaticFormatEntry*, CFormatTable*) {}
uint16_t CScannerDriver::StartScanCommand(uint8_t) { return kDriverFailed; }
uint16_t CScannerDriver::ReadData(uint8_t*, uint8_t, uint16_t, uint16_t) { return kDriverFailed; }
uint16_t CScannerDriver::ReserveDevice() { return kDriverFailed; }
uint16_t CScannerDriver::WaitReady(uint32_t) { return kDriverFailed; }
uint16_t CScannerDriver::UnloadOriginal() { return kDriverFailed; }
uint16_t CScannerDriver::PrescanIfNeeded(CScanSettings*, ScanProgressCallback) { return kDriverFailed; }
uint16_t CScannerDriver::PrepareEngineColourCorrection() { return kDriverFailed; }
uint16_t CScannerDriver::HandleSense(const uint8_t*) { return kDriverFailed; }
uint32_t CScannerDriver::GetOptimalResolution(int32_t) { return 0; }
uint32_t CScannerDriver::ClampResolutionX(uint32_t) { return 0; }
uint32_t CScannerDriver::ClampResolutionY(uint32_t) { return 0; }
