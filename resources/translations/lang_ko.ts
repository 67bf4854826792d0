<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
    <context>
        <name>ChatRoomRowText</name>
        <message>
            <source>No member</source>
            <translation>대화 상대 없음</translation>
        </message>
        <message>
            <source>month</source>
            <comment>after the month number</comment>
            <translation>월</translation>
        </message>
        <message>
            <source>day</source>
            <comment>after the day number</comment>
            <translation>일</translation>
        </message>
    </context>
    <context>
        <name>MainDialog</name>
        <message>
            <source>Search Chatt Room</source>
            <translation>대화방 검색</translation>
        </message>
        <message>
            <source>PLOVEX(Chat)</source>
            <translation>PLOVEX(Chat)</translation>
        </message>
    </context>
    <context>
        <name>MainMenuItems</name>
        <message>
            <source>Open</source>
            <translation>열기</translation>
        </message>
        <message>
            <source>Create Chat</source>
            <translation>대화 만들기</translation>
        </message>
        <message>
            <source>Lock Mode</source>
            <translation>잠금 모드</translation>
        </message>
        <message>
            <source>Settings</source>
            <translation>설정</translation>
        </message>
        <message>
            <source>Log off</source>
            <translation>로그오프</translation>
        </message>
        <message>
            <source>Exit</source>
            <translation>종료</translation>
        </message>
    </context>
    <context>
        <name>MqttManager</name>
        <message>
            <source>Unknown user</source>
            <translation>알 수 없는 사용자</translation>
        </message>
    </context>
    <context>
        <name>MtChatBaseItem</name>
        <message>
            <source>Read</source>
            <translation>읽음</translation>
        </message>
        <message>
            <source>Open</source>
            <translation>열기</translation>
        </message>
        <message>
            <source>Open folder</source>
            <translation>폴더 열기</translation>
        </message>
        <message>
            <source>Save</source>
            <translation>저장</translation>
        </message>
        <message>
            <source>Save as</source>
            <translation>다른 이름으로 저장</translation>
        </message>
        <message>
            <source>Sending</source>
            <translation>보내는 중</translation>
        </message>
        <message>
            <source>Error sending</source>
            <translation>보내기 실패</translation>
        </message>
        <message>
            <source>Saving</source>
            <translation>저장 중</translation>
        </message>
        <message>
            <source>Error saving</source>
            <translation>저장 실패</translation>
        </message>
    </context>
    <context>
        <name>MtChatDateItem</name>
        <message>
            <source>year</source>
            <translation>년</translation>
        </message>
        <message>
            <source>month</source>
            <translation>월</translation>
        </message>
        <message>
            <source>day</source>
            <translation>일</translation>
        </message>
    </context>
    <context>
        <name>MtImageViewer</name>
        <message>
            <source>Previous picture</source>
            <translation>이전 사진</translation>
        </message>
        <message>
            <source>Next picture</source>
            <translation>다음 사진</translation>
        </message>
    </context>
    <context>
        <name>MtSearchLineEdit</name>
        <message>
            <source>Clear</source>
            <translation>지우기</translation>
        </message>
    </context>
    <context>
        <name>NetServerManager</name>
        <message>
            <source>The server sent nothing for too long: the request timed out</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>The server's answer could not be read</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>The room list could not be stored</source>
            <translation type="unfinished" />
        </message>
    </context>
    <context>
        <name>QObject</name>
        <message>
            <source>PLOVEX(Chat)</source>
            <translation>PLOVEX(Chat)</translation>
        </message>
        <message>
            <source>This OS does not support system tray</source>
            <translation>이 운영체제는 시스템 트레이를 지원하지 않습니다</translation>
        </message>
    </context>
    <context>
        <name>UpgradeDialog</name>
        <message>
            <source>The update was downloaded but could not be started (error %1).
Start it yourself:
%2</source>
            <translation>업데이트를 내려받았지만 실행하지 못했습니다 (오류 %1).
직접 실행해 주세요:
%2</translation>
        </message>
        <message>
            <source>Cancelled</source>
            <translation>취소됨</translation>
        </message>
        <message>
            <source>The update link is not a secure address:
%1</source>
            <translation>업데이트 링크가 안전한 주소가 아닙니다:
%1</translation>
        </message>
        <message>
            <source>No filename on update url</source>
            <translation>업데이트 주소에 파일 이름이 없습니다</translation>
        </message>
        <message>
            <source>The update cannot be saved to %1:
%2</source>
            <translation>업데이트를 %1에 저장할 수 없습니다:
%2</translation>
        </message>
        <message>
            <source>Download error</source>
            <translation>다운로드 오류</translation>
        </message>
        <message>
            <source>Completed</source>
            <translation>완료되었습니다</translation>
        </message>
        <message>
            <source>The download stopped: the server sent nothing more.</source>
            <translation>다운로드가 멈췄습니다: 서버가 더 이상 데이터를 보내지 않습니다.</translation>
        </message>
    </context>
</TS>
