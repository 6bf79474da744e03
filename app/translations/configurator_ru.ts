<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>CoreText</name>
    <message>
        <source>Run</source>
        <translation>Пуск</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Стоп</translation>
    </message>
    <message>
        <source>Waiting Connection...</source>
        <translation>Ожидание связи...</translation>
    </message>
    <message>
        <source>Connecting...</source>
        <translation>Соединение...</translation>
    </message>
    <message>
        <source>Send Header...</source>
        <translation>Отправка заголовка...</translation>
    </message>
    <message>
        <source>Wait for page request...</source>
        <translation>Ожидание запроса страницы...</translation>
    </message>
    <message>
        <source>Writing Page #%1 : Ok</source>
        <translation>Запись страницы №%1 : успешно</translation>
    </message>
    <message>
        <source>Writing Page #%1 : Retry %2</source>
        <translation>Запись страницы №%1 : повтор %2</translation>
    </message>
    <message>
        <source>Writing Page #%1 : Error</source>
        <translation>Запись страницы №%1 : ошибка</translation>
    </message>
    <message>
        <source>Writing Page #%1</source>
        <translation>Запись страницы №%1</translation>
    </message>
    <message>
        <source>Updating firmware : Ok</source>
        <translation>Обновление прошивки : успешно</translation>
    </message>
    <message>
        <source>Updating firmware</source>
        <translation>Обновление прошивки</translation>
    </message>
    <message>
        <source>System Updating : Ok</source>
        <translation>Обновление системы : успешно</translation>
    </message>
    <message>
        <source>Connecting: Error</source>
        <translation>Соединение: ошибка</translation>
    </message>
    <message>
        <source>Send Header: Error</source>
        <translation>Отправка заголовка: ошибка</translation>
    </message>
    <message>
        <source>Error updating firmware...</source>
        <translation>Ошибка обновления прошивки...</translation>
    </message>
    <message>
        <source>Firmware Update canceled...</source>
        <translation>Обновление прошивки отменено...</translation>
    </message>
    <message>
        <source>%1 bytes at the end of the file were not written: they do not fill a page of %2 bytes.</source>
        <translation>Последние байты файла (%1) не записаны: они не заполняют страницу в %2 байт.</translation>
    </message>
    <message>
        <source>Error...</source>
        <translation>Ошибка...</translation>
    </message>
    <message>
        <source>Open Firware file...</source>
        <translation>Открытие файла прошивки...</translation>
    </message>
    <message>
        <source>Open Port(%1) Error...</source>
        <translation>Ошибка открытия порта (%1)...</translation>
    </message>
    <message>
        <source>Write Port(%1) Error...</source>
        <translation>Ошибка записи в порт (%1)...</translation>
    </message>
    <message>
        <source>%1 Adapter is not found on Communication Port %2</source>
        <translation>Адаптер %1 не найден на порту %2</translation>
    </message>
    <message>
        <source>Cannot open Communication Port %1</source>
        <translation>Не удаётся открыть порт %1</translation>
    </message>
    <message>
        <source>Communication Port %1 was lost: the adapter was unplugged or its line was closed.</source>
        <translation>Связь с портом %1 потеряна: адаптер отключён или его линия закрыта.</translation>
    </message>
    <message>
        <source>Error reading COM-List</source>
        <translation>Ошибка чтения списка COM-портов</translation>
    </message>
    <message>
        <source>Reinstall drivers, please.</source>
        <translation>Пожалуйста, переустановите драйверы.</translation>
    </message>
    <message>
        <source>Error: Can not to open unknown device.</source>
        <translation>Ошибка: неизвестное устройство открыть нельзя.</translation>
    </message>
    <message>
        <source>Error: The device accepts no data.</source>
        <translation>Ошибка: устройство не принимает данные.</translation>
    </message>
    <message>
        <source>USB Device Error: %1 (%2)</source>
        <translation>Ошибка USB-устройства: %1 (%2)</translation>
    </message>
    <message>
        <source>To use %1, add your user to the group &quot;%2&quot; (sudo usermod -aG %2 $USER), then log out and in again.</source>
        <translation>Чтобы работать с %1, добавьте своего пользователя в группу «%2» (sudo usermod -aG %2 $USER), затем выйдите из системы и войдите снова.</translation>
    </message>
    <message>
        <source>The device is also listed as the serial port %1 and can be used there.</source>
        <translation>Устройство есть и в списке последовательных портов как %1, и с ним можно работать там.</translation>
    </message>
    <message>
        <source>File &quot;%1&quot; is not found.</source>
        <translation>Файл «%1» не найден.</translation>
    </message>
    <message>
        <source>File &quot;%1&quot; cannot be read: %2.</source>
        <translation>Файл «%1» не прочитать: %2.</translation>
    </message>
    <message>
        <source>Error! Firmware file &quot;%1&quot; is short.</source>
        <translation>Ошибка! Файл прошивки «%1» слишком короткий.</translation>
    </message>
    <message>
        <source>Change Mode file &quot;%1&quot; is not found.</source>
        <translation>Файл смены режима «%1» не найден.</translation>
    </message>
    <message>
        <source>Change Mode file &quot;%1&quot; cannot be read: %2.</source>
        <translation>Файл смены режима «%1» не прочитать: %2.</translation>
    </message>
    <message>
        <source>Change Mode file &quot;%1&quot;corrupted.</source>
        <translation>Файл смены режима «%1» повреждён.</translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation>это папка</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>это не обычный файл</translation>
    </message>
    <message>
        <source>it holds more than %1 bytes</source>
        <translation>в нём больше %1 байт</translation>
    </message>
    <message>
        <source>there is not enough memory</source>
        <translation>не хватает памяти</translation>
    </message>
    <message>
        <source>it was shortened while being read</source>
        <translation>он укоротился во время чтения</translation>
    </message>
    <message>
        <source>another program is using it</source>
        <translation>его занимает другая программа</translation>
    </message>
    <message>
        <source>Success operation</source>
        <translation>Успешно</translation>
    </message>
    <message>
        <source>Invalid handle</source>
        <translation>Неверный дескриптор</translation>
    </message>
    <message>
        <source>Device is not found</source>
        <translation>Устройство не найдено</translation>
    </message>
    <message>
        <source>Device is not opened</source>
        <translation>Устройство не открыто</translation>
    </message>
    <message>
        <source>IO Error</source>
        <translation>Ошибка ввода-вывода</translation>
    </message>
    <message>
        <source>Insuffient resurces</source>
        <translation>Недостаточно ресурсов</translation>
    </message>
    <message>
        <source>Invalid parameter</source>
        <translation>Неверный параметр</translation>
    </message>
    <message>
        <source>Invalid baud rate</source>
        <translation>Неверная скорость линии</translation>
    </message>
    <message>
        <source>Device is not opened for ERASE</source>
        <translation>Устройство не открыто для стирания</translation>
    </message>
    <message>
        <source>Device is not opened for WRITE</source>
        <translation>Устройство не открыто для записи</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Неизвестная ошибка</translation>
    </message>
    <message>
        <source>%1 (virtual port)</source>
        <translation>%1 (виртуальный порт)</translation>
    </message>
    <message>
        <source>Device node</source>
        <translation>Файл устройства</translation>
    </message>
    <message>
        <source>Driver</source>
        <translation>Драйвер</translation>
    </message>
    <message>
        <source>Bus</source>
        <translation>Шина</translation>
    </message>
    <message>
        <source>Vendor ID</source>
        <translation>Код производителя</translation>
    </message>
    <message>
        <source>Product ID</source>
        <translation>Код изделия</translation>
    </message>
    <message>
        <source>Manufacturer</source>
        <translation>Изготовитель</translation>
    </message>
    <message>
        <source>Product</source>
        <translation>Изделие</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Серийный номер</translation>
    </message>
    <message>
        <source>Vendor name</source>
        <translation>Производитель</translation>
    </message>
    <message>
        <source>Model name</source>
        <translation>Модель</translation>
    </message>
    <message>
        <source>udev ID</source>
        <translation>Идентификатор udev</translation>
    </message>
    <message>
        <source>udev path</source>
        <translation>Путь udev</translation>
    </message>
    <message>
        <source>By-id link</source>
        <translation>Ссылка by-id</translation>
    </message>
    <message>
        <source>Sysfs path</source>
        <translation>Путь в sysfs</translation>
    </message>
    <message>
        <source>%1
%2</source>
        <translation>%1
%2</translation>
    </message>
</context>
<context>
    <name>FileFilter</name>
    <message>
        <source>%1-files</source>
        <translation>Файлы %1</translation>
    </message>
    <message>
        <source>All files</source>
        <translation>Все файлы</translation>
    </message>
</context>
<context>
    <name>MainForm</name>
    <message>
        <source>Name...</source>
        <translation>Название...</translation>
    </message>
    <message>
        <source>Pages</source>
        <translation>Страницы</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Обновление</translation>
    </message>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>Test</source>
        <translation>Тест</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Порт:</translation>
    </message>
    <message>
        <source>Ports List</source>
        <translation>Список портов</translation>
    </message>
    <message>
        <source>Property</source>
        <translation>Свойства</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Refresh USB-Ports</source>
        <translation>Обновить список USB-портов</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Поиск</translation>
    </message>
    <message>
        <source>Modes</source>
        <translation>Режимы</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Описание</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>Выбрать</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Журнал</translation>
    </message>
    <message>
        <source>Copy to Buffer</source>
        <translation>Копировать</translation>
    </message>
    <message>
        <source>Upload New Firmware</source>
        <translation>Загрузить новую прошивку</translation>
    </message>
    <message>
        <source>Repair</source>
        <translation>Восстановить</translation>
    </message>
    <message>
        <source>Do not Search</source>
        <translation>Без поиска</translation>
    </message>
    <message>
        <source>Wait</source>
        <translation>Ждать</translation>
    </message>
    <message>
        <source>Run</source>
        <translation>Пуск</translation>
    </message>
    <message>
        <source>File:</source>
        <translation>Файл:</translation>
    </message>
    <message>
        <source>Choose the file</source>
        <translation>Выбрать файл</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Ход обновления</translation>
    </message>
    <message>
        <source>Update log</source>
        <translation>Журнал обновления</translation>
    </message>
    <message>
        <source>Logo</source>
        <translation>Логотип</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Название</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Версия %1</translation>
    </message>
    <message>
        <source>Copyright</source>
        <translation>Авторские права</translation>
    </message>
    <message>
        <source>To visit our web-site click here :</source>
        <translation>Наш сайт, щёлкните здесь :</translation>
    </message>
    <message>
        <source>For order click here :</source>
        <translation>Для заказа щёлкните здесь :</translation>
    </message>
    <message>
        <source>Notes</source>
        <translation>Заметки</translation>
    </message>
    <message>
        <source>Test log</source>
        <translation>Журнал теста</translation>
    </message>
    <message>
        <source>Signature:</source>
        <translation>Сигнатура:</translation>
    </message>
    <message>
        <source>Serial Number:</source>
        <translation>Серийный №:</translation>
    </message>
    <message>
        <source>Hardware:</source>
        <translation>Плата:</translation>
    </message>
    <message>
        <source>Firmware:</source>
        <translation>Версия:</translation>
    </message>
    <message>
        <source>Copyright:</source>
        <translation>Копирайт:</translation>
    </message>
    <message>
        <source>Bootware:</source>
        <translation>Загрузчик:</translation>
    </message>
    <message>
        <source>Ext. Power:</source>
        <translation>Питание:</translation>
    </message>
    <message>
        <source>V</source>
        <translation>В</translation>
    </message>
    <message>
        <source>Supply voltage</source>
        <translation>Напряжение питания</translation>
    </message>
</context>
<context>
    <name>PortPropDialog</name>
    <message>
        <source>%1 Properties</source>
        <translation>Свойства %1</translation>
    </message>
    <message>
        <source>Nothing is known about this device.</source>
        <translation>Об этом устройстве ничего не известно.</translation>
    </message>
    <message>
        <source>Properties</source>
        <translation>Свойства</translation>
    </message>
    <message>
        <source>Property</source>
        <translation>Свойство</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Значение</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>Open</source>
        <translation>Открыть</translation>
    </message>
    <message>
        <source>The line trace cannot be written to %1: %2. The configurator works on without it.</source>
        <translation>Трассировку линии не записать в %1: %2. Конфигуратор работает дальше без неё.</translation>
    </message>
    <message>
        <source>Trace...</source>
        <translation>Трассировка...</translation>
    </message>
    <message>
        <source>their place</source>
        <translation>их место</translation>
    </message>
    <message>
        <source>The settings cannot be saved to %1. The configurator works on; settings changed now are forgotten when it closes.</source>
        <translation>Настройки не сохранить в %1. Конфигуратор работает дальше; настройки, изменённые сейчас, при закрытии будут забыты.</translation>
    </message>
    <message>
        <source>Settings...</source>
        <translation>Настройки...</translation>
    </message>
</context>
<context>
    <name>UpdatePage</name>
    <message>
        <source>Firware file &quot;%1&quot; is not found.</source>
        <translation>Файл прошивки «%1» не найден.</translation>
    </message>
    <message>
        <source>File &quot;%1&quot; is neither a firmware file (.rfw) nor a change-mode file (.rcm).</source>
        <translation>Файл «%1» — не файл прошивки (.rfw) и не файл смены режима (.rcm).</translation>
    </message>
</context>
<context>
    <name>WindowView</name>
    <message>
        <source>current mode</source>
        <translation>текущий режим</translation>
    </message>
</context>
</TS>
