// The page's half of the bridge. Written for the old engine of the browser control: ECMAScript 3 only.
var VWebApp = {
    noticeBase: "http://www.velmora.com/notice/",
    upDataTexts: ["正在检查升级版本..", "正在升级请稍候...", "当前为最新版本", "检测失败,请检查网络",
                  "当前版本不是最新版", "请到官方下载最新版", "更新说明"],
    noticeKeys: {
        "Usb_VActivity": 1, "Run_Install": 1, "Usb_VInstall": 1, "Sys_Install": 1, "Delphi_Virus": 1,
        "VBS_Virus": 1, "MP3_Virus": 1, "AUTODOOR_Virus": 1, "SOLA_Virus": 1, "COM_Run": 1, "CHECK_No": 1,
        "Folder_Virus": 1, "Mbr_Virus": 1
    }
};

// Asks the program for a command: the hidden element carries it, the first parameter as text.
function VWebAppCommand(id, param) {
    var element = document.getElementById(id);
    if (!element) return;
    element.setAttribute("vparam1", param === undefined ? "" : String(param));
    element.click();
}

function VWebAppScanning(scanning) {
    $("#BtnScan").text(scanning ? "停止查杀" : "开始查杀");
}

// Values reach the page as text, never as markup.
function VWebAppFill(ids, fields) {
    var i;
    for (i = 0; i < ids.length; i++) $("#" + ids[i]).text(fields[i]);
}

function OnVWebApp(key, value, param) {
    var fields;
    value = value === undefined || value === null ? "" : String(value);
    if (key === "Scan_Info") {
        fields = value.split("|");
        if (fields.length < 4) return;
        VWebAppFill(["ScanFileTotal", "ScanVirusCount", "ScanDelCount", "ScanFixCount"], fields);
        $("#TextNotice").hide();
        $("#TabScanRes").hide();
        $("#TabScanInfo").show();
        VWebAppScanning(true);
    } else if (key === "Scan_Result") {
        fields = value.split("|");
        if (fields.length < 6) return;
        VWebAppFill(["ResFileTotal", "ResVirusCount", "ResVirusHigh", "ResDelCount", "ResFixCount", "ResImmuneCount"], fields);
        VWebAppFill(["ScanFileTotal", "ScanVirusCount", "ScanDelCount", "ScanFixCount"], ["0", "0", "0", "0"]);
        $("#TextNotice").hide();
        $("#TabScanInfo").hide();
        $("#TabScanRes").show();
        VWebAppScanning(false);
    } else if (key === "Udisk_Version") {
        $("#Version").text(value);
    } else if (key === "Usb_Edition") {
        if (value === "1") $("#DivLink").show(); else $("#DivLink").hide();
    } else if (key === "Udisk_UpData") {
        var state = parseInt(value, 10);
        if (state >= 0 && state < VWebApp.upDataTexts.length) $("#UpData").text(VWebApp.upDataTexts[state]);
    } else if (key === "IsOnlyRead") {
        $("#ReadSet").prop("checked", value === "1");
    } else if (key === "Lnk_Set") {
        $("#LnkSet").prop("checked", value === "1");
    } else if (key === "LiOther_Btn") {
        if (value === "1") $("#LiOtherBtn").show(); else $("#LiOtherBtn").hide();
    } else if (VWebApp.noticeKeys[key] === 1) {
        document.getElementById("UrlCfg").src = VWebApp.noticeBase + key + ".html";
    }
    return param;
}

$(function () {
    $("#BtnScan").click(function () {
        if ($(this).text() === "开始查杀") {
            var bits = 0;
            if ($("#ScanAll").prop("checked")) bits = bits | 1;
            if ($("#ReadSet").prop("checked")) bits = bits | 2;
            VWebAppCommand("Btn_Start_Scan", bits);
        } else {
            VWebAppCommand("Btn_Stop_Scan");
        }
        return false;
    });
    $("#ReadSet").click(function () { VWebAppCommand("Btn_USB_Status", this.checked ? 1 : 0); });
    $("#LnkSet").click(function () { VWebAppCommand("Btn_Lnk_Set", this.checked ? 1 : 0); });
    $("#BtnOpen").click(function () { VWebAppCommand("Btn_Open_UDisk"); return false; });
    $("#UpData").click(function () { return false; });
    $("#Btn_LogSee").click(function () { return false; });
});
