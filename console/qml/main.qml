import QtQuick 2.7
import QtQuick.Controls 2.0
import QtQuick.Layouts 1.0

// The console window: the lane box and the four pages on the left, the output pane on the right.
// Every action calls the controller "mvclient" and returns at once; its result arrives in the
// matching done handler below. A button passes 0 as the call's data, the load test an object.
ApplicationWindow {
    id: window
    objectName: "window"
    visible: true
    width: 800
    height: 640
    title: qsTr("Quenlow")

    onClosing: {
        readerTimer.stop()
        rsuTimer.stop()
        autoClearTimer.stop()
        close.accepted = true
    }

    Rectangle {
        id: root
        objectName: "root"
        anchors.fill: parent

        property int busyInit: 0
        property int busyReader: 0
        property int busyRSU: 0
        property int busyList: 0

        property int provinceNo: 0
        property int cityNo: 0
        property int areaNo: 0
        property int gateNo: 0
        property int laneNo: 0

        readonly property string arrow: " ------------------->"
        readonly property int defaultInterval: 3000
        readonly property var readerWriteKeys: ["CardNo", "CashMoney", "CardAreaNo", "CardGateNo",
            "CardLaneNo", "PassTime", "VehPlate", "VehType", "VehClass", "OutFlag", "OperatorNo",
            "LittleGateNo", "LittleLaneNo", "LittlePassTime", "LittleCashMoney", "LittleTime",
            "OfferType", "OfferTime", "CheckCode"]
        readonly property var rsuWriteKeys: ["OBUID", "OBUNO", "CardNo", "CashMoney", "CardAreaNo",
            "CardGateNo", "CardLaneNo", "PassTime", "VehPlate", "VehType", "VehClass", "OutFlag",
            "OperatorNo", "LittleGateNo", "LittleLaneNo", "LittlePassTime", "LittleCashMoney",
            "LittleTime", "OfferType", "OfferTime", "BackUp", "CheckCode"]
        readonly property var listUploadKeys: ["ListType", "ListNo", "KeyServiceNo", "TradeType",
            "TermCode", "TermTradeNo", "CardTradeNo", "Tac", "OBUID", "OBUNO", "CardNo", "CashMoney",
            "Balance", "TradeDevice", "VehPicture", "VehPictureLen", "SquadDate", "ShiftID",
            "ExTime", "ExAreaNo", "ExGateNo", "ExLaneNo", "ExOperatorNo", "ExVehPlate", "ExVehType",
            "ExVehClass", "EnTime", "EnAreaNo", "EnGateNo", "EnLaneNo", "EnOperatorNo",
            "EnVehPlate", "EnVehType", "EnVehClass"]
        readonly property var cardKeys: ["CardNo", "CardAreaNo", "CardGateNo", "CardLaneNo",
            "OperatorNo", "VehPlate", "VehType", "VehClass", "OutFlag"]
        readonly property var littleKeys: ["LittleGateNo", "LittleLaneNo", "LittlePassTime",
            "LittleCashMoney", "LittleTime", "OfferType", "OfferTime"]
        readonly property var tradeKeys: ["KeyServiceNo", "TradeType", "TermTradeNo",
            "CardTradeNo", "TermCode", "Tac"]

        ListModel {
            id: laneModel
            objectName: "laneModel"
        }

        // ---- Helpers ------------------------------------------------------------------------

        function str(val) {
            return typeof val === "string" ? val : ""
        }

        function parseJson(text) {
            try {
                var value = JSON.parse(text)
                return value !== null && typeof value === "object" ? value : {}
            } catch (e) {
                return {}
            }
        }

        function isChain(data) {
            return typeof data === "object"
        }

        // The texts of a page's fields edit<key>, as an object keyed by the keys.
        function collect(page, keys) {
            var object = {}
            for (var i = 0; i < keys.length; ++i)
                object[keys[i]] = page["edit" + keys[i]].text
            return object
        }

        // A page's fields edit<key> from the members of the same names.
        function fill(page, keys, json) {
            for (var i = 0; i < keys.length; ++i)
                page["edit" + keys[i]].text = str(json[keys[i]])
        }

        function currentLane() {
            var index = laneBox.currentIndex
            return index >= 0 && index < laneModel.count ? laneModel.get(index) : {}
        }

        function chooseLane(index) {
            if (index < 0 || index >= laneModel.count)
                return
            var lane = laneModel.get(index)
            laneBox.displayText = laneText(lane)
            provinceNo = parseInt(lane.ProvinceNo)
            cityNo = parseInt(lane.CityNo)
            areaNo = parseInt(lane.AreaNo)
            gateNo = parseInt(lane.GateNo)
            laneNo = parseInt(lane.LaneNo)
        }

        function laneText(lane) {
            return "LaneNo:" + lane.LaneNo + " / " + "IP: " + lane.IpAddr
        }

        function listNo() {
            return mvclient.makeListNo(provinceNo, cityNo, areaNo, gateNo, laneNo)
        }

        function appendLine(line) {
            output.append(line)
        }

        function fullReport(heading, rc, ms, out) {
            appendLine(heading + arrow)
            appendLine("Return: " + rc)
            appendLine("Time Consume: " + ms + " ms")
            if (out !== undefined)
                appendLine(out)
            output.cursorPosition = output.length
        }

        // Full for a click, one line for a step of the load test.
        function report(name, data, rc, ms, out) {
            if (isChain(data))
                appendLine(name + " Return: " + rc)
            else
                fullReport(name, rc, ms, out)
        }

        function clearOutput() {
            output.clear()
            mvclient.clearUndoRedo(output.textDocument)
        }

        // ---- Actions ------------------------------------------------------------------------

        function callInit() {
            busyInit++
            mvclient.init(0)
        }

        function callUninit() {
            busyInit++
            mvclient.uninit(0)
        }

        function readerRead(data) {
            busyReader++
            mvclient.readerRead(data, laneNo, JSON.stringify({ TimeOut: crPage.editTimeOut.text }))
        }

        function readerWrite(data) {
            busyReader++
            listPage.editCashMoney.text = crPage.editCashMoney.text
            mvclient.readerWrite(data, laneNo, JSON.stringify(collect(crPage, readerWriteKeys)))
        }

        function rsuRead(data) {
            busyRSU++
            mvclient.rsuRead(data, laneNo, JSON.stringify({ TimeOut: rsuPage.editTimeOut.text }))
        }

        function rsuWrite(data) {
            busyRSU++
            listPage.editCashMoney.text = rsuPage.editCashMoney.text
            mvclient.rsuWrite(data, laneNo, JSON.stringify(collect(rsuPage, rsuWriteKeys)))
        }

        function listUpLoad(data) {
            busyList++
            mvclient.listUpLoad(data, laneNo, JSON.stringify(collect(listPage, listUploadKeys)))
        }

        function listQuery() {
            busyList++
            mvclient.listQuery(0, laneNo, JSON.stringify({ ListNo: listPage.editListNo.text }))
        }

        function blackListQuery() {
            var input = collect(otherPage, ["OBUID", "OBUNO", "CardFirTime", "OBUFirTime"])
            input.ListNo = listPage.editListNo.text
            input.CardNo = otherPage.editBlackCardNo.text
            mvclient.blackListQuery(0, laneNo, JSON.stringify(input))
        }

        function etcStatusQuery() {
            mvclient.etcStatusQuery(0, laneNo, JSON.stringify({}))
        }

        function sendNonCashPay() {
            var input = collect(otherPage, ["ScannerID", "NonCashTsSn", "CashMoney", "RequestTime",
                                            "VehPlate", "ChargeType", "ChargeDetail", "Timeout"])
            input.CardNo = otherPage.editNonCashCardNo.text
            mvclient.sendNonCashPay(0, laneNo, JSON.stringify(input))
        }

        function stopNonCashPay() {
            mvclient.stopNonCashPay(0, laneNo,
                                    JSON.stringify(collect(otherPage, ["ScannerID", "NonCashTsSn"])))
        }

        function queryTransDetail() {
            mvclient.queryTransDetail(0, laneNo,
                                      JSON.stringify(collect(otherPage, ["Page", "PageSize"])))
        }

        // ---- Copying results into the pages --------------------------------------------------

        // The List page's travel fields after a read: entry and exit at the chosen lane.
        function fillListTravel(json) {
            var lane = currentLane()
            listPage.editCardNo.text = str(json.CardNo)
            listPage.editBalance.text = str(json.Balance)
            listPage.editEnAreaNo.text = listPage.editExAreaNo.text = str(lane.AreaNo)
            listPage.editEnGateNo.text = listPage.editExGateNo.text = str(lane.GateNo)
            listPage.editEnLaneNo.text = listPage.editExLaneNo.text = str(lane.LaneNo)
            listPage.editEnTime.text = listPage.editExTime.text = str(json.PassTime)
            listPage.editEnVehPlate.text = listPage.editExVehPlate.text = str(json.VehPlate)
            listPage.editEnVehType.text = listPage.editExVehType.text = str(json.VehType)
            listPage.editEnVehClass.text = listPage.editExVehClass.text = str(json.VehClass)
            listPage.editEnOperatorNo.text = listPage.editExOperatorNo.text = str(json.OperatorNo)
        }

        function fillCardData(json) {
            fill(crPage, cardKeys, json)
            crPage.editPassTime.text = mvclient.timeAdd1(str(json.PassTime))
            fillListTravel(json)
            otherPage.editNonCashCardNo.text = crPage.editCardNo.text
            otherPage.editVehPlate.text = str(json.VehPlate)
            otherPage.editRequestTime.text = mvclient.now()
            otherPage.editNonCashTsSn.text = mvclient.makeNonCashTsSn(provinceNo, cityNo, areaNo,
                gateNo, laneNo, otherPage.editRequestTime.text)
        }

        function fillObuData(json) {
            rsuPage.editOBUID.text = str(json.OBUID)
            rsuPage.editOBUNO.text = str(json.OBUNO)
            fill(rsuPage, cardKeys, json)
            rsuPage.editPassTime.text = mvclient.timeAdd1(str(json.PassTime))
            fillListTravel(json)
            listPage.editOBUID.text = str(json.OBUID)
            listPage.editOBUNO.text = str(json.OBUNO)
        }

        function fillListData(json, tradeDevice, passTime) {
            listPage.editListType.text = "1"
            fill(listPage, tradeKeys, json)
            listPage.editTradeDevice.text = tradeDevice
            listPage.editEnTime.text = listPage.editExTime.text = passTime
            listPage.editListNo.text = listNo()
        }

        // ---- Load test ----------------------------------------------------------------------

        function finishReaderCycle(data) {
            mvclient.finishPress(JSON.stringify(data), otherPage.editReaderLog.text)
        }

        function finishRsuCycle(data) {
            mvclient.finishPress(JSON.stringify(data), otherPage.editRSULog.text)
        }

        // A timer interval from a field; a text that is no positive number gives the default.
        function interval(text) {
            var value = parseInt(text)
            return value > 0 ? value : defaultInterval
        }

        // ---- Done handlers ------------------------------------------------------------------

        function onDoneInit(data, rc, ms, out) {
            busyInit--
            fullReport("Initialize", rc, ms, out)
            if (rc !== 0)
                return
            var lanes = null
            try {
                lanes = JSON.parse(out)
            } catch (e) {
            }
            if (!Array.isArray(lanes))
                return // not the lane table: keep the list as it is
            laneModel.clear()
            for (var i = 0; i < lanes.length; ++i)
                laneModel.append(lanes[i])
            if (laneModel.count > 0) {
                laneBox.currentIndex = 0
                chooseLane(0)
            }
        }

        function onDoneUninit(data, rc, ms) {
            busyInit--
            fullReport("Uninstall", rc, ms)
            laneModel.clear()
            laneBox.displayText = ""
        }

        function onDoneReaderRead(data, rc, ms, out) {
            busyReader--
            report("ReaderRead", data, rc, ms, out)
            if (rc === 0) {
                var json = parseJson(out)
                fillCardData(json)
                fill(crPage, littleKeys.concat(["CheckCode"]), json)
            }
            if (!isChain(data))
                return
            if (rc === 0) {
                data.ReadTime = ms
                if (otherPage.swtReaderWrite.checked) {
                    readerWrite(data)
                    return
                }
            }
            finishReaderCycle(data)
        }

        function onDoneReaderWrite(data, rc, ms, out) {
            busyReader--
            report("ReaderWrite", data, rc, ms, out)
            if (rc === 0)
                fillListData(parseJson(out), "1", crPage.editPassTime.text)
            if (!isChain(data))
                return
            if (rc === 0)
                data.WriteTime = ms
            finishReaderCycle(data)
            if (otherPage.swtReaderUpLoad.checked)
                listUpLoad({})
        }

        function onDoneRSURead(data, rc, ms, out) {
            busyRSU--
            report("RSURead", data, rc, ms, out)
            if (rc === 0) {
                var json = parseJson(out)
                fillObuData(json)
                fill(rsuPage, littleKeys.concat(["BackUp", "CheckCode"]), json)
            }
            if (!isChain(data))
                return
            if (rc === 0) {
                data.ReadTime = ms
                if (otherPage.swtRSUWrite.checked) {
                    rsuWrite(data)
                    return
                }
            }
            finishRsuCycle(data)
        }

        function onDoneRSUWrite(data, rc, ms, out) {
            busyRSU--
            report("RSUWrite", data, rc, ms, out)
            if (rc === 0)
                fillListData(parseJson(out), "0", rsuPage.editPassTime.text)
            if (!isChain(data))
                return
            if (rc === 0)
                data.WriteTime = ms
            finishRsuCycle(data)
            if (otherPage.swtRSUUpLoad.checked)
                listUpLoad({})
        }

        function onDoneListUpLoad(data, rc, ms, out) {
            busyList--
            report("ListUpLoad", data, rc, ms, out)
        }

        function onDoneListQuery(data, rc, ms, out) {
            busyList--
            fullReport("ListQuery", rc, ms, out)
        }

        Component.onCompleted: {
            mvclient.doneInit.connect(onDoneInit)
            mvclient.doneUninit.connect(onDoneUninit)
            mvclient.doneReaderRead.connect(onDoneReaderRead)
            mvclient.doneReaderWrite.connect(onDoneReaderWrite)
            mvclient.doneRSURead.connect(onDoneRSURead)
            mvclient.doneRSUWrite.connect(onDoneRSUWrite)
            mvclient.doneListUpLoad.connect(onDoneListUpLoad)
            mvclient.doneListQuery.connect(onDoneListQuery)
            mvclient.doneBlackListQuery.connect(function (data, rc, ms, out) {
                fullReport("BlackListQuery", rc, ms, out)
            })
            mvclient.doneETCStatusQuery.connect(function (data, rc, ms, out) {
                fullReport("EtcStatusQuery", rc, ms, out)
            })
            mvclient.doneSendNonCashPay.connect(function (data, rc, ms, out) {
                fullReport("SendNonCashPay", rc, ms, out)
            })
            mvclient.doneStopNonCashPay.connect(function (data, rc, ms, out) {
                fullReport("StopNonCashPay", rc, ms, out)
            })
            mvclient.doneQueryTransDetail.connect(function (data, rc, ms, out) {
                fullReport("QueryTransDetail", rc, ms, out)
            })

            btnInit.clicked.connect(callInit)
            btnUnInit.clicked.connect(callUninit)
            crPage.btnRead.clicked.connect(function () { readerRead(0) })
            crPage.btnWrite.clicked.connect(function () { readerWrite(0) })
            rsuPage.btnRead.clicked.connect(function () { rsuRead(0) })
            rsuPage.btnWrite.clicked.connect(function () { rsuWrite(0) })
            listPage.btnUpload.clicked.connect(function () { listUpLoad(0) })
            listPage.btnQuery.clicked.connect(listQuery)
            otherPage.btnBlackListQuery.clicked.connect(blackListQuery)
            otherPage.btnETCStatusQuery.clicked.connect(etcStatusQuery)
            otherPage.btnSendNonCashPay.clicked.connect(sendNonCashPay)
            otherPage.btnStopNonCashPay.clicked.connect(stopNonCashPay)
            otherPage.btnQueryTransDetail.clicked.connect(queryTransDetail)
        }

        // ---- Layout -------------------------------------------------------------------------

        ColumnLayout {
            id: leftColumn
            anchors.left: parent.left
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            anchors.right: outputPane.left
            anchors.rightMargin: 5
            spacing: 0

            Row {
                Layout.fillWidth: true
                Layout.preferredHeight: 40

                BusyIndicator {
                    width: 40
                    height: 40
                    running: root.busyInit > 0
                }
                MyButton {
                    id: btnInit
                    objectName: "btnInit"
                    text: "Init"
                    width: leftColumn.width / 4
                    height: 40
                }
                MyButton {
                    id: btnUnInit
                    objectName: "btnUnInit"
                    text: "UnInit"
                    width: leftColumn.width / 4
                    height: 40
                }
                ComboBox {
                    id: laneBox
                    objectName: "laneBox"
                    width: leftColumn.width - 40 - btnInit.width - btnUnInit.width
                    height: 40
                    model: laneModel
                    delegate: ItemDelegate {
                        width: laneBox.width
                        text: root.laneText(model)
                    }
                    onCurrentIndexChanged: root.chooseLane(currentIndex)
                }
            }

            Item {
                Layout.preferredHeight: 10
            }

            TabBar {
                id: tabBar
                objectName: "tabBar"
                Layout.fillWidth: true
                Layout.preferredHeight: 40
                currentIndex: swipeView.currentIndex

                MyTabButton {
                    text: "Reader"
                    running: root.busyReader > 0
                }
                MyTabButton {
                    text: "RSU"
                    running: root.busyRSU > 0
                }
                MyTabButton {
                    text: "List"
                    running: root.busyList > 0
                }
                MyTabButton {
                    text: "Other"
                }
            }

            SwipeView {
                id: swipeView
                objectName: "swipeView"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                currentIndex: tabBar.currentIndex

                CRPage {
                    id: crPage
                    objectName: "crPage"
                }
                RSUPage {
                    id: rsuPage
                    objectName: "rsuPage"
                }
                ListPage {
                    id: listPage
                    objectName: "listPage"
                }
                OtherPage {
                    id: otherPage
                    objectName: "otherPage"
                }
            }

            PageIndicator {
                Layout.preferredHeight: 30
                Layout.alignment: Qt.AlignHCenter
                count: swipeView.count
                currentIndex: swipeView.currentIndex
            }
        }

        Rectangle {
            id: outputPane
            objectName: "outputPane"
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            width: window.width / 3
            border.color: "grey"
            border.width: 2

            Flickable {
                id: flickable
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.top: parent.top
                anchors.bottom: clearButton.top
                anchors.margins: 2
                clip: true

                TextArea.flickable: TextArea {
                    id: output
                    objectName: "output"
                    placeholderText: "output"
                    textFormat: TextEdit.PlainText
                    wrapMode: TextEdit.Wrap
                    selectByMouse: true
                    // The library indents its JSON texts with tabs: four spaces wide, nested
                    // members stay on the line of their key instead of wrapping under it.
                    tabStopDistance: 4 * outputMetrics.advanceWidth(" ")
                    Component.onCompleted: mvclient.setNonUndo(textDocument)

                    FontMetrics {
                        id: outputMetrics
                        font: output.font
                    }
                }

                ScrollBar.vertical: ScrollBar {}
                ScrollBar.horizontal: ScrollBar {}
            }

            MyButton {
                id: clearButton
                objectName: "btnClear"
                text: "clear"
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.margins: 2
                height: 40
                // The label centred in the part the switch leaves free.
                rightPadding: swtAutoClear.width
                onClicked: root.clearOutput()

                Switch {
                    id: swtAutoClear
                    objectName: "swtAutoClear"
                    text: "AutoClear"
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
        }

        // ---- Timers -------------------------------------------------------------------------

        Timer {
            id: readerTimer
            objectName: "readerTimer"
            repeat: true
            interval: root.interval(otherPage.editReaderInterval.text)
            running: otherPage.swtReaderOnOff.checked
            onTriggered: {
                if (root.busyReader === 0)
                    root.readerRead({})
            }
        }

        Timer {
            id: rsuTimer
            objectName: "rsuTimer"
            repeat: true
            interval: root.interval(otherPage.editRSUInterval.text)
            running: otherPage.swtRSUOnOff.checked
            onTriggered: {
                if (root.busyRSU === 0)
                    root.rsuRead({})
            }
        }

        Timer {
            id: autoClearTimer
            objectName: "autoClearTimer"
            repeat: true
            interval: 15 * 1000
            running: swtAutoClear.checked
            onTriggered: root.clearOutput()
        }
    }
}
