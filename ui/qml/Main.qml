import QtQuick
import "qrc:/zelvo/qml/components"

// The launcher document: sidebar, the play, settings and logs views, the
// progress/error overlay and the dialogs, all bound to the data model
// "launcher". Sizes are device-independent pixels.
Item {
    id: document
    required property QtObject launcher
    readonly property bool playView: !launcher.show_settings && !launcher.show_logs

    objectName: "document"
    width: 980
    height: 640

    Rectangle {
        objectName: "bg"
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: "#141a28" }
            GradientStop { position: 1.0; color: "#0a0d14" }
        }
    }

    Item {
        objectName: "app"
        anchors.fill: parent

        Rectangle {
            id: sidebar
            objectName: "sidebar"
            width: 230
            height: parent.height
            color: "#10141f"

            Column {
                id: sideTop
                x: 18
                y: 26
                width: parent.width - 36
                Text {
                    objectName: "logo"
                    textFormat: Text.StyledText
                    text: "ZELVO<font color=\"#4be3a7\">.</font>"
                    font.pixelSize: 30
                    font.bold: true
                    color: "#ffffff"
                    bottomPadding: 34
                }
                NavItem {
                    objectName: "nav-play"
                    width: parent.width
                    text: "Играть"
                    active: document.playView
                    onClicked: launcher.show_play()
                }
                NavItem {
                    objectName: "nav-settings"
                    width: parent.width
                    text: "Настройки"
                    active: launcher.show_settings
                    onClicked: launcher.show_settings_view()
                }
                NavItem {
                    objectName: "nav-logs"
                    width: parent.width
                    text: "Логи"
                    active: launcher.show_logs
                    onClicked: launcher.show_logs_view()
                }
            }

            // Pushes the update box and the host line to the bottom.
            Item {
                objectName: "side-spacer"
                width: parent.width
                anchors.top: sideTop.bottom
                anchors.bottom: sideBottom.top
            }

            Column {
                id: sideBottom
                x: 18
                width: parent.width - 36
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 26
                Item {
                    visible: launcher.update_available
                    width: parent.width
                    height: updatebox.height + 12
                    Rectangle {
                        id: updatebox
                        objectName: "updatebox"
                        width: parent.width
                        height: updateColumn.implicitHeight + 24
                        color: "#14271f"
                        border.width: 1
                        border.color: "#2a5f47"
                        radius: 10
                        Column {
                            id: updateColumn
                            x: 12
                            y: 12
                            width: parent.width - 24
                            Text {
                                objectName: "update-note"
                                width: parent.width
                                wrapMode: Text.Wrap
                                text: "Доступно обновление " + launcher.update_version
                                font.pixelSize: 12
                                color: "#9fe9c8"
                                bottomPadding: 10
                            }
                            ActionButton {
                                objectName: "update-btn"
                                width: parent.width
                                height: 36
                                primary: true
                                text: "Обновить"
                                onClicked: launcher.update_launcher()
                            }
                        }
                    }
                }
                Item {
                    objectName: "sidebottom"
                    width: parent.width
                    height: 15 + Math.max(hoststatus.implicitHeight, version.implicitHeight)
                    Rectangle {
                        width: parent.width
                        height: 1
                        color: "#1c2433"
                    }
                    Row {
                        id: hoststatus
                        objectName: "hoststatus"
                        y: 15
                        spacing: 6
                        Rectangle {
                            objectName: "hostdot"
                            width: 9
                            height: 9
                            radius: 5
                            anchors.verticalCenter: parent.verticalCenter
                            color: launcher.host_ok ? "#4be3a7" : (launcher.host_bad ? "#e25563" : "#f0b132")
                        }
                        Text {
                            objectName: "host-label"
                            text: launcher.host_label
                            font.pixelSize: 12
                            color: "#5e6b82"
                        }
                    }
                    Text {
                        id: version
                        objectName: "version"
                        y: 15
                        anchors.right: parent.right
                        text: "v" + launcher.app_version
                        font.pixelSize: 11
                        color: "#3b4660"
                    }
                }
            }
        }

        Item {
            id: main
            objectName: "main"
            x: sidebar.width
            width: parent.width - sidebar.width
            height: parent.height

            Item {
                id: content
                x: 36
                y: 30
                width: parent.width - 72
                height: parent.height - 60

                // Play view.
                Item {
                    objectName: "view-play"
                    anchors.fill: parent
                    visible: document.playView

                    Item {
                        id: topbar
                        objectName: "topbar"
                        width: parent.width
                        height: Math.max(welcome.implicitHeight, nickbox.implicitHeight)
                        Column {
                            id: welcome
                            width: parent.width - nickbox.width - 16
                            Text {
                                text: "Добро пожаловать!"
                                font.pixelSize: 26
                                font.bold: true
                                color: "#ffffff"
                                bottomPadding: 4
                            }
                            Text {
                                text: "Выбери сервер и заходи в игру."
                                font.pixelSize: 13
                                color: "#5e6b82"
                            }
                        }
                        Column {
                            id: nickbox
                            objectName: "nickbox"
                            anchors.right: parent.right
                            FieldLabel { text: "Никнейм" }
                            TextField {
                                objectName: "nick"
                                nick: true
                                maximumLength: 20
                                value: launcher.nickname
                                onEdited: (text) => launcher.nickname = text
                            }
                        }
                    }
                    FieldLabel {
                        id: serversHead
                        objectName: "servers-head"
                        y: topbar.height + 22
                        bottomPadding: 0
                        text: "Серверы"
                    }
                    Item {
                        objectName: "serverlist"
                        y: serversHead.y + serversHead.height + 10
                        width: parent.width
                        height: play.y - 18 - y
                        Text {
                            objectName: "empty"
                            visible: launcher.servers_loading
                            width: parent.width
                            horizontalAlignment: Text.AlignHCenter
                            padding: 24
                            text: "Загружаем список серверов..."
                            font.pixelSize: 14
                            color: "#5e6b82"
                        }
                        Text {
                            objectName: "empty"
                            visible: launcher.no_servers
                            width: parent.width
                            horizontalAlignment: Text.AlignHCenter
                            padding: 24
                            text: "Серверов пока нет."
                            font.pixelSize: 14
                            color: "#5e6b82"
                        }
                        ListView {
                            objectName: "server-rows"
                            anchors.fill: parent
                            clip: true
                            spacing: 6
                            boundsBehavior: Flickable.StopAtBounds
                            model: launcher.servers
                            delegate: ServerRow {
                                width: ListView.view.width
                                selected: index === launcher.selected
                                onClicked: launcher.select(index)
                                onGearClicked: launcher.server_settings(index)
                            }
                        }
                    }
                    Rectangle {
                        id: play
                        objectName: "play"
                        readonly property bool disabled: !launcher.can_play
                        width: parent.width
                        height: 56
                        anchors.bottom: parent.bottom
                        radius: 12
                        color: disabled ? "#233042" : (playArea.containsMouse ? "#5ff0b6" : "#4be3a7")
                        Accessible.role: Accessible.Button
                        Accessible.name: launcher.play_label
                        Text {
                            anchors.centerIn: parent
                            text: launcher.play_label
                            font.pixelSize: 20
                            font.bold: true
                            color: play.disabled ? "#5e6b82" : "#06140d"
                        }
                        MouseArea {
                            id: playArea
                            anchors.fill: parent
                            hoverEnabled: true
                            cursorShape: play.disabled ? Qt.ArrowCursor : Qt.PointingHandCursor
                            onClicked: launcher.play()
                        }
                    }
                }

                // Settings view; scrolls when the window is too short for it.
                Flickable {
                    objectName: "view-settings"
                    anchors.fill: parent
                    visible: launcher.show_settings
                    clip: true
                    contentHeight: settingsColumn.implicitHeight
                    boundsBehavior: Flickable.StopAtBounds

                    Column {
                        id: settingsColumn
                        width: parent.width
                        Text {
                            text: "Настройки"
                            font.pixelSize: 26
                            font.bold: true
                            color: "#ffffff"
                            bottomPadding: 4
                        }
                        Column {
                            objectName: "setting-game-dir"
                            visible: launcher.show_game_dir
                            width: parent.width
                            bottomPadding: 20
                            FieldLabel { text: "Папка с игрой" }
                            Item {
                                width: parent.width
                                height: 44 + 8
                                TextField {
                                    objectName: "game-dir"
                                    width: parent.width - browse.width - 10
                                    value: launcher.game_dir
                                    onEdited: (text) => launcher.game_dir = text
                                }
                                ActionButton {
                                    id: browse
                                    objectName: "browse-btn"
                                    anchors.right: parent.right
                                    height: 44
                                    text: "Обзор"
                                    onClicked: launcher.browse_dir()
                                }
                            }
                            PathNote { text: "Игра будет установлена в: " + launcher.game_dir }
                        }
                        Column {
                            objectName: "setting-window-mode"
                            visible: !launcher.is_android
                            width: parent.width
                            bottomPadding: 20
                            FieldLabel { text: "Режим экрана" }
                            Row {
                                spacing: 10
                                bottomPadding: 8
                                Repeater {
                                    model: [["windowed", "Окно"], ["borderless", "Без рамки"],
                                            ["fullscreen", "Полный экран"]]
                                    ChoiceButton {
                                        required property var modelData
                                        objectName: "wm-" + modelData[0]
                                        text: modelData[1]
                                        active: launcher.window_mode_sel === modelData[0]
                                        onClicked: launcher.set_window_mode(modelData[0])
                                    }
                                }
                            }
                            PathNote {
                                text: "В режимах «Окно» и «Без рамки» игру можно свернуть без подвисаний, а Alt+Enter переключает между ними прямо в игре. Размер окна берётся из разрешения, выбранного в настройках самой игры. Применится после следующего запуска игры."
                            }
                        }
                        Column {
                            objectName: "setting-font"
                            width: parent.width
                            bottomPadding: 20
                            FieldLabel { text: "Шрифт в игре" }
                            Flow {
                                width: parent.width
                                spacing: 8
                                bottomPadding: 16
                                Repeater {
                                    model: [["default", "Встроенный"], ["segoe_ui", "Segoe UI"],
                                            ["arial", "Arial"], ["tahoma", "Tahoma"],
                                            ["verdana", "Verdana"], ["roboto", "Roboto"]]
                                    ChoiceButton {
                                        required property var modelData
                                        objectName: "font-" + modelData[0]
                                        compact: true
                                        text: modelData[1]
                                        active: launcher.font_sel === modelData[0]
                                        onClicked: launcher.set_font(modelData[0])
                                    }
                                }
                            }
                            PathNote {
                                text: "Влияет только на интерфейс в игре (чат, диалоги). Лаунчер не меняется. Применится после следующего запуска игры."
                            }
                        }
                        Column {
                            objectName: "setting-keyboard"
                            visible: launcher.is_android
                            width: parent.width
                            bottomPadding: 20
                            FieldLabel { text: "Клавиатура в игре" }
                            Row {
                                spacing: 10
                                bottomPadding: 8
                                Repeater {
                                    model: [["modern", "Современная"], ["classic", "Классическая"],
                                            ["system", "Системная"]]
                                    ChoiceButton {
                                        required property var modelData
                                        text: modelData[1]
                                        active: launcher.kb_sel === modelData[0]
                                        onClicked: launcher.set_keyboard(modelData[0])
                                    }
                                }
                            }
                            PathNote {
                                text: "Для чата и диалогов в игре. «Современная» и «Классическая» — встроенные клавиатуры Zelvo. «Системная» — клавиатура Android (Gboard, SwiftKey и т.д.). Применится после следующего запуска. В игре можно быстро переключить через /kb."
                            }
                            Item {
                                visible: launcher.kb_sel === "system"
                                width: parent.width
                                height: 42 + 12
                                ActionButton {
                                    y: 4
                                    text: "Выбрать клавиатуру Android"
                                    onClicked: launcher.pick_android_keyboard()
                                }
                            }
                        }
                        Column {
                            objectName: "setting-region"
                            width: parent.width
                            bottomPadding: 20
                            FieldLabel { text: "Регион загрузки (CDN)" }
                            Row {
                                spacing: 10
                                bottomPadding: 8
                                Repeater {
                                    model: [["auto", "Авто"], ["ru", "RU"], ["eu", "EU"]]
                                    ChoiceButton {
                                        required property var modelData
                                        objectName: "region-" + modelData[0]
                                        text: modelData[1]
                                        active: launcher.region_sel === modelData[0]
                                        onClicked: launcher.set_region(modelData[0])
                                    }
                                }
                            }
                            PathNote {
                                text: "Авто — лаунчер сам выберет самый быстрый сервер. Выберите RU или EU, чтобы всегда качать через нужный регион."
                            }
                        }
                        Column {
                            objectName: "setting-cache"
                            visible: launcher.is_android
                            width: parent.width
                            bottomPadding: 20
                            FieldLabel { text: "Где хранить кэш игры" }
                            CheckBox {
                                text: "Кэш в корне телефона"
                                checked: launcher.cache_in_root
                            }
                            PathNote { text: launcher.cache_note }
                            Rectangle {
                                visible: launcher.cache_move_note !== ""
                                width: parent.width
                                height: moveNote.implicitHeight + 16
                                radius: 8
                                color: "#221d10"
                                border.width: 1
                                border.color: "#3d331a"
                                Text {
                                    id: moveNote
                                    x: 10
                                    y: 8
                                    width: parent.width - 20
                                    wrapMode: Text.Wrap
                                    text: launcher.cache_move_note
                                    font.pixelSize: 12
                                    color: "#d8b25a"
                                }
                            }
                        }
                        Column {
                            objectName: "setting-fullscreen"
                            visible: launcher.is_android
                            width: parent.width
                            bottomPadding: 20
                            CheckBox { text: "Полноэкранный режим" }
                            PathNote {
                                text: "Лаунчер всегда в полноэкранном режиме. Эта настройка относится только к игре: при включении она займёт всю ширину экрана, включая область под «чёлкой». Применится после следующего запуска."
                            }
                        }
                        Column {
                            objectName: "setting-restore"
                            width: parent.width
                            bottomPadding: 20
                            CheckBox {
                                objectName: "restore-files"
                                text: "Восстанавливать поврежденные файлы"
                                checked: launcher.restore_files
                                onToggled: launcher.restore_files = !launcher.restore_files
                            }
                        }
                    }
                }

                // Logs view.
                Item {
                    objectName: "view-logs"
                    anchors.fill: parent
                    visible: launcher.show_logs

                    Column {
                        id: logsHead
                        width: parent.width
                        Text {
                            text: "Логи"
                            font.pixelSize: 26
                            font.bold: true
                            color: "#ffffff"
                            bottomPadding: 4
                        }
                        Text {
                            width: parent.width
                            wrapMode: Text.Wrap
                            text: "Если что-то не работает — скопируй логи и отправь их нам, так мы быстрее найдём причину."
                            font.pixelSize: 13
                            color: "#5e6b82"
                            bottomPadding: 26
                        }
                    }
                    Rectangle {
                        objectName: "logbox"
                        y: logsHead.height
                        width: parent.width
                        height: logactions.y - 16 - y
                        color: "#0b101b"
                        border.width: 1
                        border.color: "#1d2536"
                        radius: 10
                        Flickable {
                            objectName: "logscroll"
                            x: 14
                            y: 12
                            width: parent.width - 28
                            height: parent.height - 24
                            clip: true
                            contentWidth: logtext.implicitWidth
                            contentHeight: logtext.implicitHeight
                            boundsBehavior: Flickable.StopAtBounds
                            Text {
                                id: logtext
                                objectName: "logtext"
                                textFormat: Text.PlainText
                                text: launcher.log_text
                                font.pixelSize: 12
                                color: "#9fb0c9"
                            }
                        }
                    }
                    Item {
                        id: logactions
                        objectName: "logactions"
                        width: parent.width
                        height: 42
                        anchors.bottom: parent.bottom
                        Row {
                            spacing: 12
                            ActionButton {
                                objectName: "copy-logs"
                                primary: true
                                text: "Копировать"
                                onClicked: launcher.copy_logs()
                            }
                            ActionButton {
                                visible: launcher.is_android
                                text: "Отправить файлом"
                                onClicked: launcher.share_logs()
                            }
                            ActionButton {
                                objectName: "share-logs"
                                visible: !launcher.is_android
                                text: "Открыть файл"
                                onClicked: launcher.share_logs()
                            }
                            ActionButton {
                                objectName: "refresh-logs"
                                text: "Обновить"
                                onClicked: launcher.refresh_logs()
                            }
                        }
                        Text {
                            objectName: "logstatus"
                            visible: launcher.log_status !== ""
                            anchors.right: parent.right
                            anchors.verticalCenter: parent.verticalCenter
                            text: launcher.log_status
                            font.pixelSize: 13
                            color: "#4be3a7"
                        }
                    }
                }
            }
        }

        Overlay {
            visible: launcher.overlay_visible
            title: launcher.status_message
            detail: launcher.status_detail
            isError: launcher.is_error
            progressWidth: launcher.progress_width
            splash: launcher.splash
            canCancel: launcher.can_cancel
            onCancelClicked: launcher.cancel()
            onCloseClicked: launcher.dismiss_error()
        }

        DialogCard {
            objectName: "dirmask"
            visible: launcher.need_install_dir
            cardName: "dircard"
            cardWidth: 460
            cardPadding: 30
            DialogTitle {
                objectName: "dir-title"
                bottomPadding: 14
                text: "Куда установить игру?"
            }
            DialogText {
                objectName: "dir-text"
                bottomPadding: 24
                lineHeightMode: Text.FixedHeight
                lineHeight: 21
                text: "Перед первым запуском выберите папку, куда установить Zelvo Online (нужно ~4.5 ГБ свободного места).<br><br>Например, если выбрать <font color=\"#4be3a7\">D:\\games</font>, игра появится в <font color=\"#4be3a7\">D:\\games\\ZelvoOnline</font>."
            }
            Row {
                objectName: "dir-actions"
                anchors.horizontalCenter: parent.horizontalCenter
                ActionButton {
                    objectName: "dir-choose"
                    height: 46
                    sidePadding: 30
                    textSize: 16
                    primary: true
                    text: "Выбрать папку"
                    onClicked: launcher.browse_dir()
                }
            }
        }

        DialogCard {
            objectName: "permmask"
            visible: launcher.need_install_perm
            cardName: "permcard"
            DialogTitle {
                objectName: "perm-title"
                font.pixelSize: 19
                bottomPadding: 12
                text: "Нужно разрешение"
            }
            DialogText {
                objectName: "perm-text"
                text: "Для установки обновлений надо выдать разрешение на установку из неизвестных источников."
            }
            Row {
                objectName: "perm-actions"
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 12
                ActionButton {
                    objectName: "perm-grant"
                    primary: true
                    text: "Выдать"
                    onClicked: launcher.grant_install()
                }
                ActionButton {
                    objectName: "perm-later"
                    text: "Позже"
                    onClicked: launcher.dismiss_install_perm()
                }
            }
        }

        DialogCard {
            objectName: "batterymask"
            visible: launcher.need_battery_opt
            cardName: "batterycard"
            DialogTitle {
                objectName: "battery-title"
                font.pixelSize: 19
                bottomPadding: 12
                text: "Стабильное подключение"
            }
            DialogText {
                objectName: "battery-text"
                lineHeightMode: Text.FixedHeight
                lineHeight: 21
                text: "Для стабильного подключения к серверам отключите энергосбережение для <font color=\"#4be3a7\">ZelvoLauncher</font>.<br><br>Это займёт пару секунд в настройках Android."
            }
            Row {
                objectName: "battery-actions"
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 12
                ActionButton {
                    objectName: "battery-grant"
                    primary: true
                    text: "Отключить"
                    onClicked: launcher.grant_battery_opt()
                }
                ActionButton {
                    objectName: "battery-later"
                    text: "Не хочу"
                    onClicked: launcher.dismiss_battery_opt()
                }
            }
        }

        DialogCard {
            objectName: "batterywarnmask"
            visible: launcher.need_battery_opt_warn
            cardName: "batterywarncard"
            DialogTitle {
                objectName: "batterywarn-title"
                font.pixelSize: 19
                bottomPadding: 12
                text: "Соединение может обрываться"
            }
            DialogText {
                objectName: "batterywarn-text"
                lineHeightMode: Text.FixedHeight
                lineHeight: 21
                text: "Если оставить энергосбережение включённым, при сворачивании игры сервер будет разрывать соединение с вами — это особенность работы этого режима на Android."
            }
            Row {
                objectName: "batterywarn-actions"
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 12
                ActionButton {
                    objectName: "batterywarn-grant"
                    primary: true
                    text: "Отключить"
                    onClicked: launcher.grant_battery_opt()
                }
                ActionButton {
                    objectName: "batterywarn-ok"
                    text: "Понял(а)"
                    onClicked: launcher.dismiss_battery_opt_warn()
                }
            }
        }

        DialogCard {
            objectName: "ssmask"
            visible: launcher.show_server_settings
            cardName: "sscard"
            cardWidth: 460
            DialogTitle {
                objectName: "ss-title"
                bottomPadding: 20
                text: "Настройки " + launcher.ss_server_name
            }
            FieldLabel {
                width: parent.width
                wrapMode: Text.Wrap
                text: "Перезапись ника для сервера " + launcher.ss_server_name + ":"
            }
            TextField {
                objectName: "ss-nick"
                width: parent.width
                maximumLength: 20
                value: launcher.ss_nick
                onEdited: (text) => launcher.ss_nick = text
            }
            Item {
                width: parent.width
                height: 22
            }
            Row {
                objectName: "ss-actions"
                anchors.right: parent.right
                spacing: 12
                ActionButton {
                    objectName: "ss-cancel"
                    text: "Отмена"
                    onClicked: launcher.close_server_settings()
                }
                ActionButton {
                    objectName: "ss-save"
                    primary: true
                    text: "Сохранить"
                    onClicked: launcher.save_server_settings()
                }
            }
        }
    }
}
