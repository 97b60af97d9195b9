#include "search/settings.h"

#include "cue/cue_job.h"
#include "host/alerts.h"
#include "host/host_ops.h"
#include "platform/registry.h"
#include "resources/resource_ids.h"
#include "resources/settings_key.h"
#include "search/search_state.h"

namespace ostinel {

SearchSettings g_settings;
uint32_t g_workingFlags = 0;
bool g_settingsRead = false;

namespace {

constexpr const char* kRegistryKey = OSTINEL_SETTINGS_KEY;
constexpr const char* kValueFlags = OSTINEL_VALUE_FLAGS;
constexpr const char* kValueThreshold = OSTINEL_VALUE_THRESHOLD;
constexpr const char* kValueDesired = OSTINEL_VALUE_DESIRED;
constexpr const char* kValueAllowed = OSTINEL_VALUE_ALLOWED;

struct FlagControl {
  int control;
  uint32_t bit;
};

const FlagControl kFlagControls[] = {
    {IDC_MODE_ADD, kFlagAddCues},          {IDC_INTERACTIVE, kFlagInteractive},
    {IDC_MEASURES, kFlagMeasures},         {IDC_ARTICULATIONS, kFlagArticulations},
    {IDC_SMART_SHAPES, kFlagSmartShapes},  {IDC_LYRICS, kFlagLyrics},
    {IDC_CHORDS, kFlagChords},             {IDC_EXPRESSIONS, kFlagExpressions},
    {IDC_CLEFS, kFlagClefs},
};

bool Checked(HWND dialog, int control) { return QX_GetDlgCntlVal(dialog, static_cast<uint16_t>(control), 0) != 0; }

int32_t Field(HWND dialog, int control) {
  return QX_GetDlgItemVal(dialog, static_cast<uint16_t>(control), kQXValueInteger);
}

bool Reject(HWND dialog, uint32_t message, int field) {
  ShowAlert(dialog, kQXAlertError, message);
  QX_SetDlgFocus(dialog, static_cast<uint16_t>(field));
  return false;
}

}  // namespace

void LoadSettings() {
  g_searchActive = false;
  g_settingsRead = false;
  // The threshold travels with the percentage, as the registry keeps them.
  uint32_t combined = static_cast<uint32_t>(g_cueJob.percentage * kThresholdModulus + g_settings.threshold);
  uint32_t desired = static_cast<uint32_t>(g_settings.desiredLength);
  uint32_t allowed = static_cast<uint32_t>(g_settings.allowedLength);
  if (g_settings.flags > kMaxFlags) {
    g_settings.flags = kDefaultFlags;
    const RegistryKey key(kRegistryKey);
    key.QueryDword(kValueFlags, &g_settings.flags);
    key.QueryDword(kValueThreshold, &combined);
    key.QueryDword(kValueDesired, &desired);
    key.QueryDword(kValueAllowed, &allowed);
  }
  if (g_settings.flags > kMaxFlags) g_settings.flags = kDefaultFlags;

  const auto w2 = static_cast<int32_t>(combined);
  g_settings.threshold = w2 % kThresholdModulus;
  g_settings.desiredLength = static_cast<int32_t>(desired) % kThresholdModulus;
  g_settings.allowedLength = static_cast<int32_t>(allowed) % kThresholdModulus;
  g_cueJob.percentage = static_cast<int16_t>((w2 / kThresholdModulus) % kPercentModulus);
}

void ReadBackSettings(HWND dialog, uint32_t* workingFlags) {
  // Without interactive mode the proposed cue is always used.
  if (!Checked(dialog, IDC_INTERACTIVE)) {
    QX_SetDlgCntlVal(dialog, IDC_USE_SELECTION, 0, 0);
    QX_SetDlgCntlVal(dialog, IDC_USE_PROPOSED, 0, 1);
  }
  uint32_t flags = 0;
  for (const FlagControl& flag : kFlagControls) {
    if (Checked(dialog, flag.control)) flags |= flag.bit;
  }
  *workingFlags = flags;
  g_settings.flags = flags;
  g_settings.threshold = Field(dialog, IDC_THRESHOLD) % kThresholdModulus;
  g_settings.desiredLength = Field(dialog, IDC_DESIRED) % kLengthModulus;
  g_settings.allowedLength = Field(dialog, IDC_ALLOWED) % kLengthModulus;
  g_cueJob.percentage = static_cast<int16_t>(Field(dialog, IDC_PERCENT) % kPercentModulus);
  g_settingsRead = true;
}

bool ValidateSettings(HWND dialog) {
  if (g_settings.threshold < 1) return Reject(dialog, IDS_NOT_POSITIVE, IDC_THRESHOLD);
  if (g_settings.allowedLength < 1) return Reject(dialog, IDS_NOT_POSITIVE, IDC_ALLOWED);
  if (g_settings.desiredLength < 1) return Reject(dialog, IDS_NOT_POSITIVE, IDC_DESIRED);
  if (g_cueJob.percentage < 1) return Reject(dialog, IDS_NOT_POSITIVE, IDC_PERCENT);
  if (g_settings.allowedLength < g_settings.desiredLength) return Reject(dialog, IDS_ALLOWED_TOO_SMALL, IDC_ALLOWED);
  return true;
}

void SaveSettings() {
  if (!g_settingsRead) return;
  const RegistryKey key(kRegistryKey);
  if (!key.IsOpen()) return;
  const int32_t combined = int32_t{g_cueJob.percentage} * kThresholdModulus + g_settings.threshold;
  key.SetDword(kValueFlags, g_settings.flags);
  key.SetDword(kValueThreshold, static_cast<uint32_t>(combined));
  key.SetDword(kValueDesired, static_cast<uint32_t>(g_settings.desiredLength));
  key.SetDword(kValueAllowed, static_cast<uint32_t>(g_settings.allowedLength));
}

}  // namespace ostinel
