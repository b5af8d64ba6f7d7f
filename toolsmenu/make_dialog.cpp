#include "make_dialog.h"

#include "KorvexMake.h"
#include "handles.h"
#include "hresult.h"
#include "module_state.h"
#include "path.h"
#include "resource.h"
#include "string_table.h"

namespace orrelin {
namespace {

// Texts of the dialog's controls, from the string table.
const struct {
    int control;
    UINT text;
} kControlTexts[] = {
    {IDC_MAKE_INPUTS_LABEL, IDS_MAKE_INPUTS_LABEL},
    {IDC_MAKE_VENDOR_LABEL, IDS_MAKE_VENDOR_LABEL},
    {IDC_MAKE_PRODUCT_LABEL, IDS_MAKE_PRODUCT_LABEL},
    {IDC_MAKE_RELEASE_LABEL, IDS_MAKE_RELEASE_LABEL},
    {IDC_MAKE_PLAIN, IDS_MAKE_PLAIN},
    {IDC_MAKE_DFUSE, IDS_MAKE_DFUSE},
    {IDC_MAKE_TARGET_NAME_LABEL, IDS_MAKE_TARGET_NAME_LABEL},
    {IDC_MAKE_ALTERNATE_LABEL, IDS_MAKE_ALTERNATE_LABEL},
    {IDC_MAKE_OUTPUT_LABEL, IDS_MAKE_OUTPUT_LABEL},
    {IDOK, IDS_MAKE_OK},
    {IDCANCEL, IDS_MAKE_CANCEL},
};

// A field whose value is refused is drawn on this colour until it is put right.
constexpr COLORREF kRefusedBackground = RGB(0xFF, 0xE0, 0xE0);

class MakeDialog {
public:
    MakeDialog(const std::vector<std::wstring>& inputs, MakeRequest& request) : m_inputs(inputs), m_request(request) {}

    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* dialog = reinterpret_cast<MakeDialog*>(GetWindowLongPtrW(window, DWLP_USER));
        if (!dialog) return FALSE;
        try {
            return dialog->Handle(window, message, wParam, lParam);
        } catch (...) {
            // No exception may unwind through the dialog manager's frames.
            EndDialog(window, -1);
            return TRUE;
        }
    }

private:
    INT_PTR Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message) {
        case WM_INITDIALOG:
            Initialize(window);
            return TRUE;
        case WM_COMMAND:
            return Command(window, LOWORD(wParam), HIWORD(wParam));
        case WM_CTLCOLOREDIT:
            if (m_problem && GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == m_problem->control) {
                SetBkColor(reinterpret_cast<HDC>(wParam), kRefusedBackground);
                return reinterpret_cast<INT_PTR>(m_refusedBrush.get());
            }
            return FALSE;
        default:
            return FALSE;
        }
    }

    void Initialize(HWND window)
    {
        m_refusedBrush.reset(CreateSolidBrush(kRefusedBackground));
        SetWindowTextW(window, LoadResString(IDS_MAKE_CAPTION).c_str());
        for (const auto& entry : kControlTexts)
            SetDlgItemTextW(window, entry.control, LoadResString(entry.text).c_str());
        const size_t binaries = BinaryCount(m_inputs);
        SetDlgItemTextW(window, IDC_MAKE_ADDRESS_LABEL,
                        LoadResString(binaries > 1 ? IDS_MAKE_ADDRESSES_LABEL : IDS_MAKE_ADDRESS_LABEL).c_str());
        std::wstring names;
        for (const std::wstring& input : m_inputs) names += (names.empty() ? L"" : L", ") + SplitPath(input).leaf;
        SetDlgItemTextW(window, IDC_MAKE_INPUTS, names.c_str());

        MakeFields fields = LoadRememberedFields();
        if (!PlainAllowed(m_inputs)) fields.format = MakeFormat::kDfuSe;
        // Addresses belong to the binaries they were given for; another selection starts empty
        // unless it has as many.
        const auto remembered = ParseAddresses(fields.loadAddresses);
        if (!remembered || remembered->size() != binaries) fields.loadAddresses.clear();
        m_loading = true;
        SetDlgItemTextW(window, IDC_MAKE_VENDOR, fields.vendor.c_str());
        SetDlgItemTextW(window, IDC_MAKE_PRODUCT, fields.product.c_str());
        SetDlgItemTextW(window, IDC_MAKE_RELEASE, fields.release.c_str());
        SetDlgItemTextW(window, IDC_MAKE_TARGET_NAME, fields.targetName.c_str());
        SetDlgItemTextW(window, IDC_MAKE_ALTERNATE, fields.alternateSetting.c_str());
        SetDlgItemTextW(window, IDC_MAKE_ADDRESS, fields.loadAddresses.c_str());
        SetDlgItemTextW(window, IDC_MAKE_OUTPUT, DefaultOutput(m_inputs).c_str());
        CheckRadioButton(window, IDC_MAKE_PLAIN, IDC_MAKE_DFUSE,
                         fields.format == MakeFormat::kPlain ? IDC_MAKE_PLAIN : IDC_MAKE_DFUSE);
        EnableWindow(GetDlgItem(window, IDC_MAKE_PLAIN), PlainAllowed(m_inputs));
        m_loading = false;
        Recheck(window);
    }

    INT_PTR Command(HWND window, int control, int notification)
    {
        if (control == IDCANCEL) {
            EndDialog(window, IDCANCEL);
            return TRUE;
        }
        if (control == IDOK) {
            Accept(window);
            return TRUE;
        }
        if (notification == EN_CHANGE || notification == BN_CLICKED) {
            if (!m_loading) Recheck(window);
            return TRUE;
        }
        return FALSE;
    }

    static std::wstring Text(HWND window, int control)
    {
        const HWND item = GetDlgItem(window, control);
        std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(item, &text[0], static_cast<int>(text.size()))));
        return text;
    }

    static MakeFields Fields(HWND window)
    {
        MakeFields fields;
        fields.vendor = Text(window, IDC_MAKE_VENDOR);
        fields.product = Text(window, IDC_MAKE_PRODUCT);
        fields.release = Text(window, IDC_MAKE_RELEASE);
        fields.format =
            IsDlgButtonChecked(window, IDC_MAKE_PLAIN) == BST_CHECKED ? MakeFormat::kPlain : MakeFormat::kDfuSe;
        fields.targetName = Text(window, IDC_MAKE_TARGET_NAME);
        fields.alternateSetting = Text(window, IDC_MAKE_ALTERNATE);
        fields.loadAddresses = Text(window, IDC_MAKE_ADDRESS);
        fields.output = Text(window, IDC_MAKE_OUTPUT);
        return fields;
    }

    // Checks the fields as they are typed: OK only while all are good, the refused field
    // marked and the reason shown under the fields.
    void Recheck(HWND window)
    {
        const MakeFields fields = Fields(window);
        const bool dfuse = fields.format == MakeFormat::kDfuSe;
        for (int control :
             {IDC_MAKE_TARGET_NAME, IDC_MAKE_ALTERNATE, IDC_MAKE_TARGET_NAME_LABEL, IDC_MAKE_ALTERNATE_LABEL})
            EnableWindow(GetDlgItem(window, control), dfuse);
        const bool addresses = dfuse && BinaryCount(m_inputs) > 0;
        EnableWindow(GetDlgItem(window, IDC_MAKE_ADDRESS), addresses);
        EnableWindow(GetDlgItem(window, IDC_MAKE_ADDRESS_LABEL), addresses);

        const int before = m_problem ? m_problem->control : 0;
        m_problem = CheckFields(m_inputs, fields);
        std::wstring reason;
        if (m_problem) {
            reason =
                m_problem->message == IDS_MAKE_ADDRESS_COUNT
                    ? FormatResString(IDS_MAKE_ADDRESS_COUNT, {static_cast<unsigned long long>(BinaryCount(m_inputs))})
                    : LoadResString(m_problem->message);
        }
        SetDlgItemTextW(window, IDC_MAKE_PROBLEM, reason.c_str());
        EnableWindow(GetDlgItem(window, IDOK), !m_problem);
        const int after = m_problem ? m_problem->control : 0;
        for (int control : {before, after})
            if (control) InvalidateRect(GetDlgItem(window, control), nullptr, TRUE);
    }

    void Accept(HWND window)
    {
        const MakeFields fields = Fields(window);
        if (CheckFields(m_inputs, fields)) {
            Recheck(window);
            return;
        }
        MakeRequest request = RequestFrom(m_inputs, fields);
        if (GetFileAttributesW(request.output.c_str()) != INVALID_FILE_ATTRIBUTES) {
            const std::wstring question = FormatResString(IDS_MAKE_CONFIRM_REPLACE, {request.output});
            const std::wstring caption = LoadResString(IDS_MAKE_CAPTION);
            if (MessageBoxW(window, question.c_str(), caption.c_str(), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) !=
                IDYES) {
                SetFocus(GetDlgItem(window, IDC_MAKE_OUTPUT));
                return;
            }
            request.replace = true;
        }
        RememberFields(fields);
        m_request = std::move(request);
        EndDialog(window, IDOK);
    }

    const std::vector<std::wstring>& m_inputs;
    MakeRequest& m_request;
    std::optional<FieldProblem> m_problem;
    UniqueGdiObject m_refusedBrush;
    bool m_loading = false;
};

struct ProgressBridge {
    WorkProgress& progress;
    static int KORVEX_MAKE_CALL Report(void* context, uint64_t done, uint64_t total)
    {
        auto& bridge = *static_cast<ProgressBridge*>(context);
        try {
            if (total != 0) bridge.progress.Report(done, total);
            return bridge.progress.Cancelled() ? 1 : 0;
        } catch (...) {
            return 1;  // an exception cannot cross the engine; stopping is the safe answer
        }
    }
};

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) return std::string();
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

HRESULT ResultOf(int answer)
{
    switch (answer) {
    case KORVEX_MAKE_DONE:
        return S_OK;
    case KORVEX_MAKE_CANCELLED:
        return HResultFromWin32(ERROR_CANCELLED);
    case KORVEX_MAKE_INVALID:
        return HResultFromWin32(ERROR_INVALID_DATA);
    case KORVEX_MAKE_USAGE:
        return HResultFromWin32(ERROR_FILE_EXISTS);
    case KORVEX_MAKE_NO_MEMORY:
        return E_OUTOFMEMORY;
    case KORVEX_MAKE_BAD_REQUEST:
        return E_INVALIDARG;
    default:
        return E_FAIL;  // the system refused a read or a write; the text says which
    }
}

}  // namespace

HRESULT ShowMakeDfuDialog(HWND owner, const std::vector<std::wstring>& inputs, MakeRequest& request)
{
    return GuardComBoundary([&]() -> HRESULT {
        if (inputs.empty()) return E_INVALIDARG;
        ModuleStateGuard state;
        MakeDialog dialog(inputs, request);
        const INT_PTR answer = DialogBoxParamW(ThisModule(), MAKEINTRESOURCEW(IDD_MAKE_DFU), owner,
                                               MakeDialog::Procedure, reinterpret_cast<LPARAM>(&dialog));
        if (answer == -1) return HResultFromLastError();
        return answer == IDOK ? S_OK : S_FALSE;
    });
}

HRESULT MakeDfuFile(const MakeRequest& request, WorkProgress& progress, std::wstring& error)
{
    error.clear();
    return GuardComBoundary([&]() -> HRESULT {
        ModuleStateGuard state;
        std::vector<KorvexMakeInput> inputs;
        size_t binary = 0;
        for (const std::wstring& path : request.inputs) {
            KorvexMakeInput input = {};
            input.size = sizeof(input);
            input.path = path.c_str();
            switch (InputKindOf(path)) {
            case InputKind::kBinary:
                input.kind = KORVEX_INPUT_BINARY;
                if (request.format == MakeFormat::kDfuSe) {
                    if (binary >= request.loadAddresses.size()) {
                        error = FormatResString(IDS_MAKE_ADDRESS_COUNT,
                                                {static_cast<unsigned long long>(BinaryCount(request.inputs))});
                        return E_INVALIDARG;
                    }
                    input.address = request.loadAddresses[binary++];
                }
                break;
            case InputKind::kIntelHex:
                input.kind = KORVEX_INPUT_INTEL_HEX;
                break;
            case InputKind::kSRecords:
                input.kind = KORVEX_INPUT_S_RECORDS;
                break;
            default:
                error = FormatResString(IDS_MAKE_UNKNOWN_INPUT, {path});
                return E_INVALIDARG;
            }
            inputs.push_back(input);
        }
        const std::string targetName = Utf8(request.targetName);
        KorvexMakeRequest make = {};
        make.size = sizeof(make);
        make.format = request.format == MakeFormat::kPlain ? KORVEX_MAKE_PLAIN : KORVEX_MAKE_DFUSE;
        make.vendor = request.vendor;
        make.product = request.product;
        make.release = request.release;
        make.alternateSetting = request.alternateSetting;
        make.named = request.targetName.empty() ? 0 : 1;
        make.targetName = targetName.c_str();
        make.inputs = inputs.data();
        make.inputCount = static_cast<uint32_t>(inputs.size());
        make.replace = request.replace ? 1 : 0;
        make.output = request.output.c_str();

        progress.Describe(FormatResString(IDS_MAKE_PROGRESS, {SplitPath(request.output).leaf}));
        ProgressBridge bridge{progress};
        // Room for two whole long paths and the reason.
        std::wstring reason(2 * 32768 + 512, L'\0');
        const int answer = KorvexMakeDfuFile(&make, &ProgressBridge::Report, &bridge, &reason[0], reason.size());
        reason.resize(wcslen(reason.c_str()));
        error = std::move(reason);
        return ResultOf(answer);
    });
}

}  // namespace orrelin
