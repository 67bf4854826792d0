<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
    <context>
        <name>ChangePasswordDialog</name>
        <message>
            <source>Change Password</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Old Password</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>New Password</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Confirm Password</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>OK</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>The password was changed, but this computer could not keep it. Log in again with the new password.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Please check network connection</source>
            <translation type="unfinished" />
        </message>
    </context>
    <context>
        <name>ChatDialog</name>
        <message>
            <source>Search</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>I have read until current position.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Image File</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>All Transfer File</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Document File</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Compressed File</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Video File</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Audio File</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>File Transfer</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Folders can not be transferred.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Size limit(%1)</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>This image is a corrupted image.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Save As</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>You are not allowed to save files.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Failed to save image</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Failed to save long text</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>This file can run a program on this computer.
Do you want to open it?</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Failed to save file.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Add Member</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>View Members</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Export conversation content</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Leave</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Delete conversations</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Copy</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Delete</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Do you want to leave this room?
All data will be delete.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Do you want to delete all data?</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>No Members</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>The room could not be created.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>fail to leave</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Too fast to send message
Please retry after a few seconds</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Cann't send long message. Try again.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>The file can no longer be read.</source>
            <translation type="unfinished" />
        </message>
    </context>
    <context>
        <name>ChatExportWriter</name>
        <message>
            <source>year </source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Month </source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Day </source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Week</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>image</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>video</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>file</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Chat with</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>in Veltri Talk</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Saved : </source>
            <translation type="unfinished" />
        </message>
    </context>
    <context>
        <name>ChatInviteDialog</name>
        <message>
            <source>Search User</source>
            <translation type="unfinished" />
        </message>
    </context>
    <context>
        <name>ChatInviteSelectItem</name>
        <message>
            <source>Remove</source>
            <translation type="unfinished" />
        </message>
    </context>
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
        <name>InviteUserDelegate</name>
        <message>
            <source>Not Install</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Decline Invite</source>
            <translation type="unfinished" />
        </message>
    </context>
    <context>
        <name>MainDialog</name>
        <message>
            <source>Search Chatt Room</source>
            <translation>채팅방 검색</translation>
        </message>
        <message>
            <source>PLOVEX(Chat)</source>
            <translation>PLOVEX(Chat)</translation>
        </message>
        <message>
            <source>Unlock mode status</source>
            <translation>잠금 모드 상태</translation>
        </message>
        <message>
            <source>Please enter your ID</source>
            <translation>아이디를 입력하세요</translation>
        </message>
        <message>
            <source>Please enter your Password</source>
            <translation>비밀번호를 입력하세요</translation>
        </message>
        <message>
            <source>You are already logged in. Continue to login?</source>
            <translation>이미 로그인되어 있습니다. 계속 로그인하시겠습니까?</translation>
        </message>
        <message>
            <source>The latest version is updated. Use the latest version.</source>
            <translation>최신 버전이 업데이트되었습니다. 최신 버전을 사용하세요.</translation>
        </message>
        <message>
            <source>No filename on update url</source>
            <translation>업데이트 주소에 파일 이름이 없습니다</translation>
        </message>
        <message>
            <source>The local data of the account could not be deleted: %1</source>
            <translation>계정의 로컬 데이터를 삭제하지 못했습니다: %1</translation>
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
        <name>MembersDialog</name>
        <message>
            <source>Members</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Readers</source>
            <translation type="unfinished" />
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
        <name>MtSession</name>
        <message>
            <source>Please check network connection</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Database Error</source>
            <translation type="unfinished" />
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
        <name>PasswordCheck</name>
        <message>
            <source>The password is empty.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>The password must be between 9 and 20 characters</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Current password is wrong.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>The new password is not match with the confirm new passowrd.</source>
            <translation type="unfinished" />
        </message>
    </context>
    <context>
        <name>ProfileEditDialog</name>
        <message>
            <source>Profile</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Change Password</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Logout</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>OK</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Cancel</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Modify</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Remove</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Please check network connection</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>The server did not name the uploaded picture.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Image File</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>The picture could not be saved.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Do you want to remove the profile picture?</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>This image is a corrupted image.</source>
            <translation type="unfinished" />
        </message>
    </context>
    <context>
        <name>ProfileImageEditDialog</name>
        <message>
            <source>Edit Profile Image</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>OK</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Cancel</source>
            <translation type="unfinished" />
        </message>
    </context>
    <context>
        <name>ProfileViewPopup</name>
        <message>
            <source>Chat</source>
            <translation type="unfinished" />
        </message>
    </context>
    <context>
        <name>QDialog</name>
        <message>
            <source>Close</source>
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
        <name>SettingsDialog</name>
        <message>
            <source>Are you sure logout?</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>The conversations stored on this computer will be deleted.</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Settings</source>
            <translation type="unfinished">설정</translation>
        </message>
        <message>
            <source>My Profile</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Edit</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Autorun Startupup</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Autorun</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Automatic lock</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>1Min</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>2Min</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>3Min</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>5Min</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>10Min</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Lock Mode</source>
            <translation type="unfinished">잠금 모드</translation>
        </message>
        <message>
            <source>Alarm</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>3Sec</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>4Sec</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>5Sec</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>6Sec</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>7Sec</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>8Sec</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Display time</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Sound Alarm</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Alarm Window</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Sound Alarm + Alarm Window</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Alarm Type</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Version</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Logout</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Please check network connection</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Enabled Logging</source>
            <translation type="unfinished" />
        </message>
        <message>
            <source>Disabled Logging</source>
            <translation type="unfinished" />
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
